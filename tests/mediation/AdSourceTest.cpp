// The scripted ad source: scenario parsing, load results, delays on mock time, records.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "mediation/APSAdMobUtils.h"
#include "mediation/AdSource.h"
#include "mediation/GADInterstitialAd.h"
#include "mediation/GADMobileAds.h"
#include "mediation/GADNativeAd.h"
#include "mediation/GADRewardedAd.h"
#include "mediation/TestCreatives.h"
#include "platform/FileSystem.h"
#include "platform/NotificationCenter.h"
#include "platform/TestEnvironment.h"
#include "platform/ui/FirstWindow.h"
#include "platform/ui/ImageRenditionCache.h"
#include "platform/ui/UIWindow.h"
#include "support/TempDir.h"

using namespace tilo::mediation;
using tilo::platform::Decimal;
using tilo::platform::parseJson;
using tilo::platform::TestEnvironment;

namespace {

struct LoadResult {
  int completions = 0;
  bool onMain = false;
  std::shared_ptr<GADInterstitialAd> ad;
  std::optional<NSError> error;
};

class AdSourceTest : public ::testing::Test {
 protected:
  void SetUp() override { AdSource::shared().reset(); }
  void TearDown() override { AdSource::shared().reset(); }

  void scenario(const char* json) {
    ASSERT_EQ(AdSource::shared().loadScenario(parseJson(json)), std::nullopt);
  }

  std::shared_ptr<LoadResult> loadInterstitial(const std::string& unit) {
    auto result = std::make_shared<LoadResult>();
    GADInterstitialAd::loadWithAdUnitID(unit, GADRequest::create(), [result](auto ad, auto error) {
      ++result->completions;
      result->onMain = tilo::platform::isMainThread();
      result->ad = ad;
      result->error = error;
    });
    return result;
  }

  TestEnvironment env;
};

// Once, on the main executor, exactly after the delay, with the scripted error.
TEST_F(AdSourceTest, ErrorResultCompletesOnceAfterTheDelayWithTheScriptedError) {
  scenario(R"({"units": {"u": {"result": "error", "delayMs": 120,
      "error": {"domain": "NSURLErrorDomain", "code": -1009, "description": "Offline"}}}})");
  auto result = loadInterstitial("u");
  env.advance(0.119);
  EXPECT_EQ(result->completions, 0) << "neither inside the load call nor 1 ms early";
  env.advance(0.001);
  EXPECT_EQ(result->completions, 1);
  env.advance(10);
  EXPECT_EQ(result->completions, 1);
  EXPECT_TRUE(result->onMain);
  EXPECT_EQ(result->ad, nullptr);
  EXPECT_EQ(result->error, (NSError{kNSURLErrorDomain, -1009, "Offline"}));

  // Without an "error" object an error result is the platform's no fill.
  scenario(R"({"default": {"result": "error"}})");
  result = loadInterstitial("u");
  env.runUntilIdle();
  EXPECT_EQ(result->error.value_or(NSError{}).code, GADErrorNoFill);
  EXPECT_EQ(result->error.value_or(NSError{}).domain, kGADErrorDomain);
}

TEST_F(AdSourceTest, RecordsEveryLoadWithItsExtras) {
  auto request = GADRequest::create();
  request->registerAdNetworkExtras(APSAdMobUtils::extrasWithSlotUUID("slot-a", 0));
  // A second extras object of the same class replaces the first.
  request->registerAdNetworkExtras(APSAdMobUtils::extrasWithSlotUUID("slot-b", 1));
  request->registerAdNetworkExtras(nullptr);
  GADRewardedAd::loadWithAdUnitID("r1", request, [](auto, auto) {});
  GADInterstitialAd::loadWithAdUnitID("i1", GADRequest::create(), [](auto, auto) {});

  auto records = AdSource::shared().loadRecords();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].format, "rewarded");
  EXPECT_EQ(records[0].adUnitId, "r1");
  ASSERT_EQ(records[0].extras.size(), 1u);
  EXPECT_NE(records[0].extras[0].find("slotUUID=slot-b width=300 height=250"), std::string::npos)
      << records[0].extras[0];
  EXPECT_EQ(records[1], (LoadRecord{"interstitial", "i1", {}}));
  // The history keeps the most recent loads only.
  const std::size_t more = AdSource::kLoadHistoryLimit + 10;
  for (std::size_t i = 0; i < more; ++i) {
    GADInterstitialAd::loadWithAdUnitID("n" + std::to_string(i), nullptr, [](auto, auto) {});
  }
  records = AdSource::shared().loadRecords();
  ASSERT_EQ(records.size(), AdSource::kLoadHistoryLimit);
  EXPECT_EQ(records.front().adUnitId, "n10");
  EXPECT_EQ(records.back().adUnitId, "n" + std::to_string(more - 1));
  // (The counts and the reset between tests: every views test counts its loads.)
}

// Bad input of every kind: refused with the JSON path and the reason, the scenario in force
// stays.
TEST_F(AdSourceTest, BadScenariosAreRefusedWithTheirPathAndKeepTheCurrentOne) {
  scenario(R"({"units": {"u": {"network": "Vungle"}}})");
  const std::string huge =
      R"({"units":{"u":{"network":")" + std::string(AdSource::kMaxScenarioBytes, 'x') + R"("}}})";
  const std::pair<std::string, std::string> bad[] = {
      {R"({"units":)", "scenario: The data couldn't be read"},
      {std::string(200, '[') + std::string(200, ']'),
       "scenario: The data couldn't be read because it isn't in the correct format. (invalid JSON: "
       "nested deeper than 128)"},
      {huge, "scenario: larger than 1048576 bytes"},
      {"{\"units\":{\"u\":{\"network\":\"\xff\"}}}", "scenario: "},
      {"[]", "scenario: expected an object"},
      {R"({"start":{"GADMobileAds":1}})", "start.GADMobileAds: expected a string"},
      {R"({"start": {"GADMobileAds": "sleepy"}})", "start.GADMobileAds"},
      {R"({"default":7})", "default: expected an object"},
      {R"({"default": {"click": "yes"}})", "default.click"},
      {R"({"units":[]})", "units: expected an object"},
      {R"({"units": {"u": {"result": "maybe"}}})", "units.u.result"},
      {R"({"units": {"u": {"delayMs": 1e999}}})", "units.u.delayMs"},
      {R"({"units":{"u":{"error":"x"}}})", "units.u.error: expected an object"},
      {R"({"units": {"u": {"error": {"domain": "x"}}}})", "units.u.error.code"},
      {R"({"units":{"u":{"error":{"domain":1,"code":1}}}})", "units.u.error.domain: expected"},
      {R"({"units":{"u":{"error":{"code":1e30}}}})", "units.u.error.code: expected an integer"},
      {R"({"units":{"u":{"error":{"code":1,"description":2}}}})", "units.u.error.description:"},
      {R"({"units":{"u":{"network":5}}})", "units.u.network: expected a string"},
      {R"({"units": {"u": {"latencies": 0.5}}})", "units.u.latencies"},
      {R"({"units":{"u":{"latencies":[0.1,"a"]}}})", "units.u.latencies[1]: expected a finite"},
      {R"({"units": {"u": {"adSize": [320]}}})", "units.u.adSize"},
      {R"({"units": {"u": {"clickUrl": 5}}})", "units.u.clickUrl"},
      {R"({"units": {"u": {"countdownMs": -1}}})", "units.u.countdownMs"},
      {R"({"units": {"u": {"testCreatives": "yes"}}})", "units.u.testCreatives"},
      {R"({"units":{"u":{"revenue":1}}})", "units.u.revenue: expected an object"},
      {R"({"units":{"u":{"revenue":{"value":1e999}}}})", "units.u.revenue.value: expected"},
      {R"({"units":{"u":{"revenue":{"value":-0.01}}}})",
       "units.u.revenue.value: expected a decimal number >= 0"},
      {R"({"units":{"u":{"revenue":{"value":1,"currency":1}}}})", "units.u.revenue.currency:"},
      {R"({"units":{"u":{"revenue":{"value":1,"currency":"US\u0000D"}}}})",
       "units.u.revenue.currency: a NUL character"},
      {R"({"units":{"u":{"revenue":{"value":1,"precision":4}}}})",
       "units.u.revenue.precision: expected an integer from 0 to 3"},
      {R"({"units":{"u":{"reward":{"amount":"abc"}}}})", "units.u.reward.amount: expected"},
      {R"({"units":{"u":{"reward":{"amount":"-5"}}}})",
       "units.u.reward.amount: expected a decimal number >= 0"},
      {R"({"units":{"u":{"reward":{"amount":1,"type":[]}}}})", "units.u.reward.type: expected"},
      {R"({"units":{"u":{"dismissAfterMs":-1}}})", "units.u.dismissAfterMs: expected"},
      {R"({"units":{"u":{"presentError":1}}})", "units.u.presentError: expected an object"},
      {R"({"units":{"u":{"expiresAfterMs":"x"}}})", "units.u.expiresAfterMs: expected"},
      {R"({"units":{"u":{"native":{"headline":1}}}})", "units.u.native.headline: expected"},
      {R"({"units":{"u":{"native":{"icon":1}}}})", "units.u.native.icon: expected"},
      // A misspelt key would leave the scenario doing something else than meant.
      {R"({"unit":{}})", "unit: unknown key; the keys here are start, default, units"},
      {R"({"units":{"u":{"delay":5}}})", "units.u.delay: unknown key; the keys here are result,"},
      {R"({"default":{"native":{"title":"T"}}})", "default.native.title: unknown key"},
      {R"({"units":{"u":{"error":{"code":1,"message":"m"}}}})", "units.u.error.message: unknown"},
      // Where the text went wrong, never what it read there: it may be a secret.
      {R"({"key": "SUPERSECRET-TOKEN-1234" o})", "scenario: "},
  };
  for (const auto& [json, reason] : bad) {
    auto problem = AdSource::shared().loadScenarioText(json);
    ASSERT_TRUE(problem) << json.substr(0, 80);
    EXPECT_EQ(problem->rfind(reason, 0), 0u) << *problem;
    EXPECT_EQ(problem->find("SUPERSECRET"), std::string::npos) << *problem;
  }
  EXPECT_EQ(AdSource::shared().scriptFor("u").network, "Vungle");
}

TEST_F(AdSourceTest, StartCompletesAsynchronouslyAndDecodesThePicturesInTheBackground) {
  int calls = 0;
  // The start also decodes the built-in pictures, in a background task, not in the call,
  // and only once the host has a window: a host without one keeps the graphics stack out.
  // (The adapter states it reports: NetworksTest.)
  tilo::platform::forgetWindowsForTesting();
  tilo::platform::NotificationCenter::defaultCenter().post(
      tilo::platform::kDidReceiveMemoryWarningNotification);
  ASSERT_EQ(TestCreatives::cachedImageCount(), 0u);
  ASSERT_EQ(tilo::platform::ImageRenditionCache::shared().count(), 0u);
  GADMobileAds::sharedInstance().startWithCompletionHandler([&](const auto&) { ++calls; });
  EXPECT_EQ(calls, 0);
  env.runUntilIdle();
  ASSERT_EQ(calls, 1);
  EXPECT_EQ(TestCreatives::cachedImageCount(), 0u);
  auto window = tilo::platform::UIWindow::create({320, 50}, 1);
  EXPECT_EQ(TestCreatives::cachedImageCount(), 0u);
  env.runUntilIdle();
  EXPECT_EQ(TestCreatives::cachedImageCount(), 8u);  // banner, MREC, three icons and media
  EXPECT_EQ(tilo::platform::ImageRenditionCache::shared().count(), 8u) << "their pixels too";
}

// Until a scenario is loaded every unit pays as the built-in test ads do (their pictures and
// net revenue: the golden images, FullScreenAdsTest). A scenario's units inherit its default
// and override it (each field's parsing: the views' and the ads' scripts); a file that cannot
// be read is refused.
TEST_F(AdSourceTest, BuiltInAdsUntilAScenarioWhoseUnitsInheritItsDefault) {
  AdSource::shared().useBuiltInTestAds();
  EXPECT_EQ(AdSource::shared().scriptFor("any-unit").revenue,
            (GADAdValue{*Decimal::fromString("0.0125"), "USD", 3}));
  scenario(R"({"default": {"click": true, "network": "Meta"}, "units": {"b": {"click": false}}})");
  const AdScript script = AdSource::shared().scriptFor("b");
  EXPECT_EQ(std::pair(script.click, script.network),
            std::pair(false, std::optional<std::string>("Meta")));
  EXPECT_TRUE(AdSource::shared().loadScenarioFile("/nonexistent/scenario.json"));
}

// Image files a scenario names are refused with the reason before anything is decoded.
TEST_F(AdSourceTest, CreativeImageFilesThatAreMissingNotImagesOrHugeAreRefused) {
  tilo::test::TempDir dir;
  using tilo::platform::FileSystem;
  // Valid headers claiming 100000 x 100000 pixels (PNG) and 5000 x 5000 (JPEG frame); text
  // that is no picture: DemandWireTest.
  FileSystem::atomicWrite(
      dir.path() / "huge.png",
      std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\x01\x86\xa0\0\x01\x86\xa0\x08\x06\0\0\0", 29));
  FileSystem::atomicWrite(
      dir.path() / "huge.jpg",
      std::string("\xff\xd8\xff\xe0\0\x04\0\0\xff\xc0\0\x0b\x08\x13\x88\x13\x88\x03", 18));
  // A 50 MB file (sparse) is refused by its size, before a byte of it is read.
  FileSystem::atomicWrite(dir.path() / "big.png", "\x89PNG");
  std::filesystem::resize_file(dir.path() / "big.png", 50u << 20);
  FileSystem::atomicWrite(dir.path() / "cut.png", "\x89PNG");
  const std::pair<const char*, const char*> refused[] = {
      {"missing.png", "missing.png"},         {"cut.png", "is not a PNG or JPEG image"},
      {"huge.png", "100000 x 100000 pixels"}, {"huge.jpg", "5000 x 5000 pixels"},
      {"big.png", "larger than 4 MB"},
  };
  scenario(R"({"units": {"u": {"network": "Vungle"}}})");
  for (const auto& [file, reason] : refused) {
    const auto json = std::string(R"({"units": {"u": {"native": {"icon": ")") + file + "\"}}}}";
    auto path = dir.path() / "scenario.json";
    FileSystem::atomicWrite(path, json);
    auto problem = AdSource::shared().loadScenarioFile(path.string());
    ASSERT_TRUE(problem) << file;
    // The file's name, then the JSON path of the field and the reason.
    EXPECT_EQ(problem->rfind(path.string() + ": units.u.native.icon: ", 0), 0u) << *problem;
    EXPECT_NE(problem->find(reason), std::string::npos) << *problem;
  }
  EXPECT_EQ(AdSource::shared().scriptFor("u").network, "Vungle") << "the scenario stayed";

  // A real picture loads, decoded once, at two pixels per point.
  const auto icon = std::string(TILO_SOURCE_DIR) + "/mediation/creatives/puzzle-icon.png";
  scenario((R"({"units": {"u": {"native": {"icon": ")" + icon + "\"}}}}").c_str());
  auto native = std::make_shared<GADNativeAd>(AdSource::shared().scriptFor("u"));
  ASSERT_TRUE(native->icon());
  EXPECT_EQ(native->icon()->image->size().width, 64);
}

}  // namespace
