#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Tilo/base/ApiBaseUrl.h"
#include "Tilo/base/ConfigurationError.h"
#include "Tilo/base/KeyCrypto.h"
#include "Tilo/base/TiloConfiguration.h"
#include "Tilo/base/TiloKeyManager.h"
#include "Tilo/base/TiloLogger.h"
#include "Tilo/entry/TiloAds.h"
#include "platform/Base64.h"
#include "platform/Bundle.h"
#include "platform/Crypto.h"
#include "platform/FileSystem.h"
#include "support/SdkFixture.h"
#include "support/TempDir.h"

namespace tilo {
namespace {

using platform::Json;
using test::SdkFixture;

std::span<const std::uint8_t> bytesOf(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string textOf(const platform::Bytes& bytes) {
  return {bytes.begin(), bytes.end()};
}

TEST(KeyCryptoTest, SealsAndOpensWithStrictFraming) {
  const std::string secret = "app-key";
  auto sealed = encryptPayload(secret, bytesOf("{\"a\":1}"));
  ASSERT_TRUE(sealed);

  // 1. Round trip, also with the white space a text editor adds around the file.
  EXPECT_EQ(textOf(*decryptKeyPayload(secret, *sealed)), "{\"a\":1}");
  EXPECT_TRUE(decryptKeyPayload(secret, "  " + *sealed + "\r\n\n"));

  // 2. A line break inside the Base64 is not ignored.
  std::string broken = *sealed;
  broken.insert(8, "\n");
  EXPECT_FALSE(decryptKeyPayload(secret, broken));

  // 3. One flipped ciphertext bit fails authentication.
  auto raw = *platform::base64Decode(*sealed);
  raw[13] ^= 0x01;
  EXPECT_FALSE(decryptKeyPayload(secret, platform::base64Encode(raw)));
}

TEST(KeyCryptoTest, RejectsPayloadsWithoutCiphertext) {
  const auto key = platform::sha256(std::string_view("k"));
  // An empty plaintext seals to nonce + tag: 28 bytes, authentic but refused.
  auto empty = platform::aesGcmSeal(key, std::span<const std::uint8_t>());
  ASSERT_EQ(empty->combined().size(), 28u);
  EXPECT_FALSE(decryptKeyPayload("k", platform::base64Encode(empty->combined())));
  // One byte of plaintext (29 bytes) is the smallest accepted payload.
  auto one = platform::aesGcmSeal(key, bytesOf("x"));
  EXPECT_EQ(textOf(*decryptKeyPayload("k", platform::base64Encode(one->combined()))), "x");
  EXPECT_FALSE(decryptKeyPayload("k", platform::base64Encode(platform::Bytes(12, 0))));
  EXPECT_FALSE(decryptKeyPayload("k", ""));
}

TEST(TiloConfigurationTest, DecodesTheKeyFileJson) {
  // 1. Only appKey, platform and storeId are required; unknown keys are ignored.
  auto minimal = TiloConfiguration::decode(platform::parseJson(
      R"({"appKey":"k","platform":"ios","storeId":"42","somethingNew":[1,2]})"));
  EXPECT_EQ(minimal.storeID, "42");
  EXPECT_FALSE(minimal.storeURL || minimal.admobKey || minimal.apsSlotUUIDs ||
               minimal.isEnabledAPSTestMode);
  EXPECT_EQ(minimal.environment, TiloConfiguration::Environment::production);

  // 2. A missing or mistyped "storeId" fails; several missing keys are named together.
  const std::pair<const char*, const char*> bad[] = {
      {R"({"appKey":"k","platform":"ios"})", R"((key "storeId" not found))"},
      {R"({"appKey":"k","platform":"ios","storeId":7})", "storeId"},
      {R"({"platform":"ios"})", R"((keys "appKey", "storeId" not found))"},
      {"{}", R"((keys "appKey", "platform", "storeId" not found))"}};
  for (const auto& [json, problem] : bad) {
    try {
      TiloConfiguration::decode(platform::parseJson(json));
      ADD_FAILURE() << json;
    } catch (const platform::DecodingError& error) {
      EXPECT_NE(std::string(error.what()).find(problem), std::string::npos) << error.what();
    }
  }

  // 3. Every field under its own key; the first matching APS slot wins.
  auto full = TiloConfiguration::decode(platform::parseJson(R"({
    "appKey":"k","platform":"ios","storeId":"42","storeUrl":"https://s","admobKey":"am",
    "applovinSdkKey":"al","apsAppId":"aps","verveToken":"vt","smaatoPublisherId":"sm",
    "apsSlotUUIDs":[{"type":"banner","uuid":"b1"},{"type":"interstitial","uuid":"i1"},
                    {"type":"interstitial","uuid":"i2"}]})"));
  EXPECT_EQ(full.applovinSDKKey, "al");
  EXPECT_EQ(full.apsAppID, "aps");
  EXPECT_EQ(full.smaatoPublisherID, "sm");
  EXPECT_EQ(full.apsSlotUUID(TiloAdFormat::interstitial), "i1");
  EXPECT_EQ(full.apsSlotUUID(TiloAdFormat::rewarded), std::nullopt);
  EXPECT_EQ(minimal.apsSlotUUID(TiloAdFormat::banner), std::nullopt);

  // 4. What the keytool seals decodes to the same configuration.
  EXPECT_EQ(TiloConfiguration::decode(full.encode()), full);
  EXPECT_EQ(TiloConfiguration::decode(minimal.encode()), minimal);
}

TEST(TiloKeyManagerTest, ReadsTheAppKeyFromInfoPlist) {
  test::TempDir dir;
  auto managerFor = [&](platform::PlistValue::Dictionary values) {
    SdkFixture::writeInfoPlist(dir.path(), std::move(values));
    return TiloKeyManager::read(*platform::Bundle::atDirectory(dir.path())).value();
  };
  EXPECT_EQ(managerFor({{"TiloAdsKey", "ads"}})->appKey(), "ads");
  EXPECT_EQ(managerFor({{"TiloAdsKey", "ads"}, {"TiloAppKey", "app"}})->appKey(), "app");
  // A non-string TiloAppKey leaves the TiloAdsKey value in force.
  EXPECT_EQ(managerFor({{"TiloAdsKey", "ads"}, {"TiloAppKey", 12345}})->appKey(), "ads");
}

class LoadConfigurationFileTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::Bundle::setMainBundleDirectory(dir_.path()); }
  void TearDown() override { platform::Bundle::setMainBundleDirectory(std::nullopt); }
  void write(const std::string& name, const std::string& content) {
    ASSERT_TRUE(platform::FileSystem::atomicWrite(dir_.path() / name, content));
  }
  test::TempDir dir_;
};

TEST_F(LoadConfigurationFileTest, PrefersIosKeyFileAndFallsBack) {
  write("tilo-key.txt",
        SdkFixture::sealKeyFile("k", R"({"appKey":"k","platform":"ios","storeId":"fallback"})"));
  EXPECT_EQ(readConfigurationFile("k", *platform::Bundle::main()).value().storeID, "fallback");
  write("ios-tilo-key.txt",
        SdkFixture::sealKeyFile("k", R"({"appKey":"k","platform":"ios","storeId":"main"})") + "\n");
  EXPECT_EQ(readConfigurationFile("k", *platform::Bundle::main()).value().storeID, "main");
}

TEST_F(LoadConfigurationFileTest, UnusableKeyFilesAreConfigurationErrorsTheEntryReports) {
  const std::string missing =
      std::string(
          "ios-tilo-key.txt file not found. Please ensure the file is included in your "
          "project. Download it from ") +
      kPublisherDashboardUrl;
  auto problem = [&] {
    auto read = readConfigurationFile("k", *platform::Bundle::main());
    return read ? ConfigurationError("no error") : *read.error();
  };
  // 1. No key file: the line integrators know, and where the SDK looked.
  EXPECT_EQ(problem().message(), missing);
  EXPECT_EQ(problem().details(), "looked in " + dir_.path().string());

  // 2. The C++ entry point answers null with that line and the process goes on; a host's
  //    log callback hears it as an error line although the level is off, and so does
  //    standard error.
  SdkFixture::writeInfoPlist(dir_.path(), {{"TiloAppKey", "k"}});
  platform::Bundle::setMainBundleDirectory(dir_.path());  // reads the new Info.plist
  setCurrentLogLevel(TiloLogLevel::off);
  std::vector<std::string> heard;
  setLogSink([&](TiloLogLevel level, const std::string& line) {
    heard.push_back(std::to_string(static_cast<int>(level)) + " " + line);
  });
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(TiloAds::shared(), nullptr);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), missing + "\n");
  setLogSink(nullptr);
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_THAT(heard[0], ::testing::AllOf(::testing::StartsWith("1 [TILO] "),
                                         ::testing::EndsWith(" ERROR " + missing)));
  EXPECT_FALSE(TiloAds::isSharedBuilt());

  // Undecryptable and undecodable key files have their own lines; the hostile input tests
  // check those.

  // 3. An app key that would inject headers into every request is a configuration that
  // does not decode, whatever the control character.
  auto configWithAppKey = [](const std::string& appKey) {
    return SdkFixture::sealKeyFile(
        "k", Json{{"appKey", appKey}, {"platform", "ios"}, {"storeId", "s"}}.dump());
  };
  write("ios-tilo-key.txt", configWithAppKey("k\r\nX-Injected: 1"));
  EXPECT_THAT(problem().message(),
              ::testing::MatchesRegex("loadConfigurationFile: .*appKey.*control.*"));
  for (const std::string& bad : {std::string("k\n"), std::string("k\0k", 3), std::string("\tk"),
                                 std::string("k\x7f"), std::string("k\x1b[0m")}) {
    const auto decoded = decodeKeyFile("k", configWithAppKey(bad));
    ASSERT_TRUE(std::holds_alternative<std::string>(decoded)) << bad;
    EXPECT_NE(std::get<std::string>(decoded).find("loadConfigurationFile: "), std::string::npos);
  }
  const auto fine = decodeKeyFile("k", configWithAppKey("key-\xea\xb0\x80-1"));
  ASSERT_TRUE(std::holds_alternative<TiloConfiguration>(fine));
  EXPECT_EQ(std::get<TiloConfiguration>(fine).appKey, "key-\xea\xb0\x80-1");
}

}  // namespace
}  // namespace tilo
