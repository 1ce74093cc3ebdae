#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/Bundle.h"
#include "platform/FileSystem.h"
#include "support/TempDir.h"

namespace tilo::platform {
namespace {

using test::TempDir;

TEST(UserDefaultsTest, StringsAndDataRoundTripThroughTheFile) {
  TempDir dir;
  // The folders are made on the first write.
  auto path = dir.path() / "Library" / "Preferences" / "prefs.plist";
  const Bytes blob{0x00, 0xFF, 0x7B, 0x00, 0x10};
  {
    auto defaults = UserDefaults::atPath(path);
    defaults->setString("greeting", "광고 로드 완료 ✅");
    defaults->setData("com.tilo.AdUnit", blob);
    defaults->setData("empty", {});
    defaults->setString("gone", "soon");
    defaults->removeObject("gone");
    defaults->removeObject("never-set");
    // Invalid UTF-8 would make libplist write a file it cannot read back, losing every
    // key: it is stored with replacement characters instead.
    defaults->setString("bad",
                        "a\xFF\xC0\xAF"
                        "b");
  }
  auto fresh = UserDefaults::atPath(path);
  EXPECT_EQ(fresh->string("greeting"), "광고 로드 완료 ✅");
  EXPECT_EQ(fresh->data("com.tilo.AdUnit"), blob);
  EXPECT_EQ(fresh->data("empty"), Bytes{});
  EXPECT_EQ(fresh->string("gone"), std::nullopt);
  EXPECT_EQ(fresh->string("bad"), "a\uFFFD\uFFFD\uFFFDb");
  // A value of the other type reads as absent.
  EXPECT_EQ(fresh->string("com.tilo.AdUnit"), std::nullopt);
  EXPECT_EQ(fresh->data("greeting"), std::nullopt);
  // The file is a binary property list that other tools can read.
  auto file = FileSystem::readFile(path);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->substr(0, 8), "bplist00");
}

TEST(UserDefaultsTest, DamagedFileReadsAsEmptyAndIsReplaced) {
  TempDir dir;
  auto path = dir.path() / "prefs.plist";
  for (std::string damaged : {std::string("not a plist \x01\x02", 15),
                              std::string("bplist00\xd1\x01\x02", 11), std::string()}) {
    SCOPED_TRACE(damaged);
    ASSERT_TRUE(FileSystem::atomicWrite(path, damaged));
    auto defaults = UserDefaults::atPath(path);
    EXPECT_EQ(defaults->string("key"), std::nullopt);
    defaults->setString("key", "value");
    EXPECT_EQ(UserDefaults::atPath(path)->string("key"), "value");
  }
  // A valid plist whose root is not a dictionary counts as damaged too.
  ASSERT_TRUE(FileSystem::atomicWrite(path, PlistValue(PlistValue::Array{"a"}).toXml()));
  EXPECT_EQ(UserDefaults::atPath(path)->string("key"), std::nullopt);
}

TEST(UserDefaultsTest, HostFileLibplistCannotWriteBackIsNeverReplaced) {
  TempDir dir;
  auto path = dir.path() / "prefs.plist";
  // The host's own XML file has a key that is not UTF-8: libplist reads it, but the binary
  // file it writes for it does not read back.
  const std::string host =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
      "<key>\xAA</key><string>a</string><key>hostScore</key><string>42</string>"
      "</dict></plist>\n";
  ASSERT_TRUE(FileSystem::atomicWrite(path, host));
  auto defaults = UserDefaults::atPath(path);
  defaults->setString("tilo_saved_ad_events", "events");
  // 1. The change lives in memory, and the store says why it was not written.
  EXPECT_EQ(defaults->string("tilo_saved_ad_events"), "events");
  EXPECT_NE(defaults->takeReadFailureReport(), std::nullopt);
  // 2. The next start still finds the host's keys.
  EXPECT_EQ(FileSystem::readFile(path), host);
  EXPECT_EQ(UserDefaults::atPath(path)->string("hostScore"), "42");
}

TEST(UserDefaultsTest, ConcurrentWritersLoseNothing) {
  TempDir dir;
  auto path = dir.path() / "prefs.plist";
  auto defaults = UserDefaults::atPath(path);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 50; ++i) {
        defaults->setString("k" + std::to_string(t) + "_" + std::to_string(i), std::to_string(i));
      }
    });
  }
  for (auto& thread : threads) thread.join();
  auto fresh = UserDefaults::atPath(path);
  for (int t = 0; t < 4; ++t) {
    for (int i = 0; i < 50; ++i) {
      ASSERT_EQ(fresh->string("k" + std::to_string(t) + "_" + std::to_string(i)),
                std::to_string(i));
    }
  }
}

TEST(UserDefaultsTest, StandardLivesInTheContainerPreferences) {
  TempDir bundle, container;
  ASSERT_TRUE(FileSystem::atomicWrite(
      bundle.path() / "Info.plist",
      PlistValue(PlistValue::Dictionary{{"CFBundleIdentifier", "com.example.app"}}).toBinary()));
  Bundle::setMainBundleDirectory(bundle.path());
  FileSystem::setApplicationContainer(container.path());
  UserDefaults::standard()->setString("com.tilo.AdUnit", "x");
  EXPECT_EQ(UserDefaults::standard(), UserDefaults::standard());
  auto expected = container.path() / "Library" / "Preferences" / "com.example.app.plist";
  EXPECT_EQ(UserDefaults::atPath(expected)->string("com.tilo.AdUnit"), "x");
  // Another container gets its own store.
  TempDir other;
  FileSystem::setApplicationContainer(other.path());
  EXPECT_EQ(UserDefaults::standard()->string("com.tilo.AdUnit"), std::nullopt);
  FileSystem::setApplicationContainer(std::nullopt);
  Bundle::setMainBundleDirectory(std::nullopt);
}

}  // namespace
}  // namespace tilo::platform
