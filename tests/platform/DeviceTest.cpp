#include "platform/AppContainer.h"
#include "platform/Device.h"

#include <gtest/gtest.h>

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

TEST(DeviceTest, VendorIdentifierIsStablePerContainer) {
  TempDir first, second;
  auto stored = [](const TempDir& dir) {
    return dir.path() / "Library" / ".tilo_vendor_identifier";
  };
  // 1. Made once, kept in the container's file, and read back from it from then on. (Event
  //    identifiers take the same maker's lower-case form.)
  EXPECT_TRUE(isVersion4UUID(makeUUIDString(true), true));
  AppContainer::setPath(first.path());
  auto created = vendorIdentifier();
  ASSERT_TRUE(created);
  EXPECT_TRUE(isVersion4UUID(*created, false)) << *created;
  EXPECT_EQ(vendorIdentifier(), created);
  EXPECT_EQ(FileSystem::readFile(stored(first)), created);
  // 2. Another container has its own identifier; one stored in lower case, or with a line
  //    break after it, is still that identifier.
  AppContainer::setPath(second.path());
  auto other = vendorIdentifier();
  ASSERT_TRUE(other);
  EXPECT_NE(*other, *created);
  ASSERT_TRUE(FileSystem::atomicWrite(stored(second), " 0a1b2c3d-0000-4000-8000-00000000abcd\n"));
  EXPECT_EQ(vendorIdentifier(), "0A1B2C3D-0000-4000-8000-00000000ABCD");
  // 3. A damaged file is replaced by a fresh identifier, which then stays.
  ASSERT_TRUE(FileSystem::atomicWrite(stored(second), "garbage"));
  auto replaced = vendorIdentifier();
  ASSERT_TRUE(replaced);
  EXPECT_TRUE(isVersion4UUID(*replaced, false)) << *replaced;
  EXPECT_EQ(FileSystem::readFile(stored(second)), replaced);
  // 4. An unwritable container gives no identifier.
  AppContainer::setPath(stored(second));
  EXPECT_EQ(vendorIdentifier(), std::nullopt);
  AppContainer::setPath(std::nullopt);
}

TEST(DeviceTest, SystemNameAndVersionFromOsRelease) {
  const std::string debian =
      "PRETTY_NAME=\"Debian 12\"\nNAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\n";
  EXPECT_EQ(osReleaseValue(debian, "VERSION_ID"), "12");
  EXPECT_EQ(osReleaseValue(debian, "NAME"), "Debian GNU/Linux");
  EXPECT_EQ(osReleaseValue("ID=ubuntu\nVERSION_ID=24.04", "VERSION_ID"), "24.04");
  EXPECT_EQ(osReleaseValue("ID=arch\nBUILD_ID=rolling\n", "VERSION_ID"), std::nullopt);
  EXPECT_EQ(osReleaseValue("VERSION_ID=\"\"\n", "VERSION_ID"), std::nullopt);
}

}  // namespace
}  // namespace tilo::platform
