#include "platform/Bundle.h"

#include <gtest/gtest.h>

#include "platform/FileSystem.h"
#include "support/TempDir.h"

namespace tilo::platform {
namespace {

using test::TempDir;

constexpr const char* kInfoXml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
  <key>CFBundleIdentifier</key><string>com.example.game</string>
  <key>TiloAppKey</key><integer>42</integer>
  <key>TiloAdsKey</key><string>app-key-123</string>
  <key>Offset</key><integer>-7</integer>
  <key>Ratio</key><real>0.25</real>
  <key>Enabled</key><true/>
  <key>Blob</key><data>AAH/</data>
  <key>Built</key><date>2024-01-02T03:04:05Z</date>
  <key>Nested</key><dict><key>List</key><array><string>a</string><integer>2</integer></array></dict>
</dict>
</plist>
)";

void expectInfoValues(const Bundle& bundle) {
  EXPECT_EQ(bundle.bundleIdentifier(), "com.example.game");
  // A number is not a string: callers looking for a string key must not get one.
  auto appKey = bundle.infoValue("TiloAppKey");
  ASSERT_TRUE(appKey);
  EXPECT_EQ(appKey->asString(), nullptr);
  EXPECT_EQ(*appKey->asInteger(), 42);
  EXPECT_EQ(*bundle.infoValue("TiloAdsKey")->asString(), "app-key-123");
  EXPECT_EQ(*bundle.infoValue("Offset")->asInteger(), -7);
  EXPECT_EQ(*bundle.infoValue("Ratio")->asReal(), 0.25);
  EXPECT_TRUE(*bundle.infoValue("Enabled")->asBool());
  EXPECT_EQ(*bundle.infoValue("Blob")->asData(), (Bytes{0x00, 0x01, 0xFF}));
  EXPECT_EQ(bundle.infoValue("Built")->asDate()->secondsSince1970, 1704164645.0);
  auto nested = bundle.infoValue("Nested");
  ASSERT_TRUE(nested && nested->asDictionary());
  const auto& list = *nested->asDictionary()->at("List").asArray();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(*list[0].asString(), "a");
  EXPECT_EQ(*list[1].asInteger(), 2);
  EXPECT_EQ(bundle.infoValue("Missing"), std::nullopt);
}

TEST(BundleTest, ReadsXmlAndBinaryInfoPlist) {
  TempDir xml, binary;
  ASSERT_TRUE(FileSystem::atomicWrite(xml.path() / "Info.plist", kInfoXml));
  auto fromXml = Bundle::atDirectory(xml.path());
  expectInfoValues(*fromXml);

  // Re-encoded as a binary plist, every value survives.
  auto root = PlistValue::parse(kInfoXml);
  ASSERT_TRUE(root);
  std::string bytes = root->toBinary();
  ASSERT_EQ(bytes.substr(0, 8), "bplist00");
  ASSERT_TRUE(FileSystem::atomicWrite(binary.path() / "Info.plist", bytes));
  expectInfoValues(*Bundle::atDirectory(binary.path()));
}

TEST(BundleTest, MissingOrBrokenInfoPlistHasNoValues) {
  TempDir dir;
  EXPECT_EQ(Bundle::atDirectory(dir.path())->bundleIdentifier(), std::nullopt);
  for (std::string broken : {std::string("<plist><dict><key>CFBundleIdentifier</key>"),
                             std::string("bplist00\xff\xff", 10), std::string("[1, 2]")}) {
    ASSERT_TRUE(FileSystem::atomicWrite(dir.path() / "Info.plist", broken));
    auto bundle = Bundle::atDirectory(dir.path());
    EXPECT_EQ(bundle->bundleIdentifier(), std::nullopt);
    EXPECT_EQ(bundle->infoValue("TiloAppKey"), std::nullopt);
  }
}

TEST(BundleTest, FindsResourcesByNameAndExtension) {
  TempDir dir;
  ASSERT_TRUE(FileSystem::atomicWrite(dir.path() / "ios-tilo-key.txt", "key"));
  ASSERT_TRUE(FileSystem::atomicWrite(dir.path() / "LICENSE", "text"));
  ASSERT_TRUE(FileSystem::createDirectories(dir.path() / "tilo-key.txt"));
  auto bundle = Bundle::atDirectory(dir.path());
  EXPECT_EQ(bundle->pathForResource("ios-tilo-key", "txt"), dir.path() / "ios-tilo-key.txt");
  EXPECT_EQ(bundle->pathForResource("ios-tilo-key", ".txt"), dir.path() / "ios-tilo-key.txt");
  EXPECT_EQ(bundle->pathForResource("LICENSE", ""), dir.path() / "LICENSE");
  EXPECT_EQ(bundle->pathForResource("ios-tilo-key", "json"), std::nullopt);
  EXPECT_EQ(bundle->pathForResource("ios-tilo-key", ""), std::nullopt);
  // A folder is found too: reading it is what fails, with a reason the caller reports.
  EXPECT_EQ(bundle->pathForResource("tilo-key", "txt"), dir.path() / "tilo-key.txt");
}

TEST(BundleTest, MainBundleDirectoryOverrides) {
  TempDir a, b;
  ASSERT_TRUE(FileSystem::atomicWrite(
      a.path() / "Info.plist",
      PlistValue(PlistValue::Dictionary{{"CFBundleIdentifier", "com.example.a"}}).toXml()));
  std::optional<std::string> saved;
  if (const char* value = std::getenv("TILO_BUNDLE_DIR")) saved = value;
  // 1. Without overrides the main bundle is the executable's folder.
  ::unsetenv("TILO_BUNDLE_DIR");
  Bundle::setMainBundleDirectory(std::nullopt);
  EXPECT_EQ(Bundle::main()->directory(),
            std::filesystem::read_symlink("/proc/self/exe").parent_path());
  // 2. The environment, then the in-code override.
  ::setenv("TILO_BUNDLE_DIR", a.path().c_str(), 1);
  Bundle::setMainBundleDirectory(std::nullopt);
  EXPECT_EQ(Bundle::main()->bundleIdentifier(), "com.example.a");
  Bundle::setMainBundleDirectory(b.path());
  EXPECT_EQ(Bundle::main()->directory(), b.path());
  saved ? ::setenv("TILO_BUNDLE_DIR", saved->c_str(), 1) : ::unsetenv("TILO_BUNDLE_DIR");
  Bundle::setMainBundleDirectory(std::nullopt);
}

}  // namespace
}  // namespace tilo::platform
