#include "platform/Device.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "platform/FileSystem.h"
#include "support/TempDir.h"

namespace tilo::platform {
namespace {

using test::TempDir;

// Canonical 8-4-4-4-12 layout in one case, version 4, RFC 4122 variant.
bool isVersion4UUID(const std::string& text, bool lowercase) {
  const std::string digits = lowercase ? "0123456789abcdef" : "0123456789ABCDEF";
  if (text.size() != 36 || text[14] != '4') return false;
  if (auto variant = digits.find(text[19]); variant < 8 || variant > 11) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? text[i] != '-' : digits.find(text[i]) == std::string::npos) return false;
  }
  return true;
}

TEST(DeviceTest, UUIDsAreRandomVersion4InTheRequestedCase) {
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    std::string a = makeUUIDString(true), b = makeUUIDString(false);
    ASSERT_TRUE(isVersion4UUID(a, true)) << a;
    ASSERT_TRUE(isVersion4UUID(b, false)) << b;
    seen.insert(a);
    seen.insert(b);
  }
  EXPECT_EQ(seen.size(), 400u);
  EXPECT_FALSE(isVersion4UUID("00000000-0000-4000-c000-000000000000", true));
}

TEST(DeviceTest, RegionComesFromTheLocaleIdentifier) {
  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {"en_US.UTF-8", "US"},     {"ko_KR", "KR"},         {"de_DE@euro", "DE"},
      {"sr_Latn_RS", "RS"},      {"zh-Hant-tw", "TW"},    {"es_419", "419"},
      {"C", std::nullopt},       {"POSIX", std::nullopt}, {"en", std::nullopt},
      {"C.UTF-8", std::nullopt}, {"", std::nullopt},      {"en_1", std::nullopt}};
  for (const auto& [identifier, region] : cases) {
    EXPECT_EQ(regionCodeFromLocaleIdentifier(identifier), region) << identifier;
  }
  // LC_ALL wins over LANG; an empty LC_ALL is ignored; the test override wins over both.
  std::optional<std::string> lcAll, lang;
  if (const char* v = std::getenv("LC_ALL")) lcAll = v;
  if (const char* v = std::getenv("LANG")) lang = v;
  ::setenv("LANG", "ko_KR.UTF-8", 1);
  ::setenv("LC_ALL", "fr_CA.UTF-8", 1);
  EXPECT_EQ(localeRegionCode(), "CA");
  ::setenv("LC_ALL", "", 1);
  EXPECT_EQ(localeRegionCode(), "KR");
  setLocaleIdentifierForTesting("C");
  EXPECT_EQ(localeRegionCode(), std::nullopt);
  setLocaleIdentifierForTesting(std::nullopt);
  lcAll ? ::setenv("LC_ALL", lcAll->c_str(), 1) : ::unsetenv("LC_ALL");
  lang ? ::setenv("LANG", lang->c_str(), 1) : ::unsetenv("LANG");
}

std::string vendorIdentifierFromChildProcess() {
  int fds[2];
  if (::pipe(fds) != 0) return {};
  pid_t child = ::fork();
  if (child == 0) {
    std::string id = vendorIdentifier().value_or("none");
    [[maybe_unused]] auto written = ::write(fds[1], id.data(), id.size());
    ::_exit(0);
  }
  ::close(fds[1]);
  char buffer[64];
  ssize_t got = ::read(fds[0], buffer, sizeof buffer);
  ::close(fds[0]);
  ::waitpid(child, nullptr, 0);
  return got > 0 ? std::string(buffer, static_cast<size_t>(got)) : std::string();
}

TEST(DeviceTest, VendorIdentifierIsStablePerContainer) {
  TempDir first, second;
  FileSystem::setApplicationContainer(first.path());
  // 1. Made by another process, then read here: the same value.
  std::string created = vendorIdentifierFromChildProcess();
  EXPECT_TRUE(isVersion4UUID(created, false)) << created;
  EXPECT_EQ(vendorIdentifier(), created);
  EXPECT_EQ(vendorIdentifier(), created);
  EXPECT_EQ(FileSystem::readFile(first.path() / "Library" / ".tilo_vendor_identifier"), created);
  // 2. Another container has its own identifier.
  FileSystem::setApplicationContainer(second.path());
  auto other = vendorIdentifier();
  ASSERT_TRUE(other);
  EXPECT_NE(*other, created);
  // 3. A damaged file is replaced by a fresh identifier, which then stays.
  ASSERT_TRUE(
      FileSystem::atomicWrite(second.path() / "Library" / ".tilo_vendor_identifier", "garbage"));
  auto replaced = vendorIdentifier();
  ASSERT_TRUE(replaced);
  EXPECT_NE(*replaced, *other);
  EXPECT_EQ(vendorIdentifierFromChildProcess(), *replaced);
  // 4. An unwritable container gives no identifier.
  FileSystem::setApplicationContainer(second.path() / "Library" / ".tilo_vendor_identifier");
  EXPECT_EQ(vendorIdentifier(), std::nullopt);
  FileSystem::setApplicationContainer(std::nullopt);
}

TEST(DeviceTest, SystemVersionFromOsRelease) {
  EXPECT_EQ(versionIdFromOsRelease("NAME=\"Debian\"\nVERSION_ID=\"12\"\nID=debian\n"), "12");
  EXPECT_EQ(versionIdFromOsRelease("ID=ubuntu\nVERSION_ID=24.04"), "24.04");
  EXPECT_EQ(versionIdFromOsRelease("ID=arch\nBUILD_ID=rolling\n"), std::nullopt);
  EXPECT_EQ(versionIdFromOsRelease("VERSION_ID=\"\"\n"), std::nullopt);
  EXPECT_FALSE(systemVersion().empty());
}

}  // namespace
}  // namespace tilo::platform
