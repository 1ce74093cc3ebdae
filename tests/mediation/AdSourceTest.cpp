// The scripted ad source: scenario parsing, load results, delays on mock time, records.
#include <gtest/gtest.h>

#include <filesystem>

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

TEST_F(AdSourceTest, FillsWithNetworkLatenciesOrNoNetworkAndUnknownUnitsUseDefault) {
  scenario(R"({
    "default": {"network": "Meta", "latencies": [0.25]},
    "units": {
      "named": {"network": "AdMob", "latencies": [0.05, 0.12]},
      "anonymous": {"network": null, "latencies": []}
    }})");
  auto named = loadInterstitial("named");
  auto anonymous = loadInterstitial("anonymous");
  auto other = loadInterstitial("not-in-scenario");
  env.runUntilIdle();

  // The unit, the network that filled ("-" for none) and each network's latency.
  auto response = [](const LoadResult& result) {
    if (!result.ad || result.error) return std::string("no ad");
    const auto& info = result.ad->responseInfo();
    std::string out = result.ad->adUnitID() + " " +
                      (info.loadedAdNetworkResponseInfo
                           ? info.loadedAdNetworkResponseInfo->adSourceName.value_or("?")
                           : "-");
    for (const auto& network : info.adNetworkInfoArray)
      out += " " + std::to_string(network.latency);
    return out;
  };
  EXPECT_EQ(response(*named), "named AdMob 0.050000 0.120000");
  EXPECT_EQ(response(*anonymous), "anonymous -");
  EXPECT_EQ(response(*other), "not-in-scenario Meta 0.250000");
}

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
  EXPECT_NE(AdSource::shared().describeLoads().find("load interstitial unit=i1"),
            std::string::npos);
  // The history keeps the most recent loads only; the counts cover every load.
  const std::size_t more = AdSource::kLoadHistoryLimit + 10;
  for (std::size_t i = 0; i < more; ++i) {
    GADInterstitialAd::loadWithAdUnitID("n" + std::to_string(i), nullptr, [](auto, auto) {});
  }
  records = AdSource::shared().loadRecords();
  ASSERT_EQ(records.size(), AdSource::kLoadHistoryLimit);
  EXPECT_EQ(records.front().adUnitId, "n10");
  EXPECT_EQ(records.back().adUnitId, "n" + std::to_string(more - 1));
  EXPECT_EQ(AdSource::shared().loadCount("r1"), 1u);
  GADInterstitialAd::loadWithAdUnitID("r1", nullptr, [](auto, auto) {});
  EXPECT_EQ(AdSource::shared().loadCount("r1"), 2u);
  EXPECT_EQ(AdSource::shared().loadCount("never"), 0u);
  AdSource::shared().reset();
  EXPECT_EQ(AdSource::shared().loadCount("r1"), 0u);
  EXPECT_TRUE(AdSource::shared().loadRecords().empty());
}

TEST_F(AdSourceTest, BadScenariosAreRefusedWithTheirPathAndKeepTheCurrentOne) {
  scenario(R"({"units": {"u": {"network": "Vungle"}}})");
  const std::pair<const char*, const char*> bad[] = {
      {R"({"units": {"u": {"result": "maybe"}}})", "units.u.result"},
      {R"({"units": {"u": {"delayMs": -1}}})", "units.u.delayMs"},
      {R"({"units": {"u": {"delayMs": 1e999}}})", "units.u.delayMs"},
      {R"({"units": {"u": {"latencies": [0.1, 1e999]}}})", "units.u.latencies"},
      {R"({"units": {"u": {"error": {"domain": "x"}}}})", "units.u.error.code"},
      {R"({"units": {"u": {"revenue": {"value": "abc"}}}})", "units.u.revenue.value"},
      {R"({"units": {"u": {"latencies": 0.5}}})", "units.u.latencies"},
      {R"({"units": {"u": {"adSize": [320]}}})", "units.u.adSize"},
      {R"({"default": {"click": "yes"}})", "default.click"},
      {R"({"start": {"GADMobileAds": "sleepy"}})", "start.GADMobileAds"},
      {R"({"units": {"u": {"clickUrl": 5}}})", "units.u.clickUrl"},
      {R"({"units": {"u": {"countdownMs": -1}}})", "units.u.countdownMs"},
      {R"({"units": {"u": {"testCreatives": "yes"}}})", "units.u.testCreatives"},
      {R"({"units": {"u": {"futureField": 1}}})", "units.u.futureField: unknown key"},
  };
  for (const auto& [json, path] : bad) {
    auto problem = AdSource::shared().loadScenario(parseJson(json));
    ASSERT_TRUE(problem) << json;
    EXPECT_EQ(problem->rfind(path, 0), 0u) << *problem;
  }
  EXPECT_EQ(AdSource::shared().scriptFor("u").network, "Vungle");
}

TEST_F(AdSourceTest, ScenarioFileFieldsAndTheirDefaults) {
  tilo::test::TempDir dir;
  EXPECT_TRUE(AdSource::shared().loadScenarioFile((dir.path() / "missing.json").string()));
  const auto path = dir.path() / "scenario.json";
  tilo::platform::FileSystem::atomicWrite(path, "{not json");
  EXPECT_TRUE(AdSource::shared().loadScenarioFile(path.string()));

  tilo::platform::FileSystem::atomicWrite(path, R"({
    "default": {"revenue": {"value": "0.0125", "currency": "EUR", "precision": 3}, "click": true},
    "units": {"b": {"adSize": [320, 50], "reward": {"amount": "2.5", "type": "gems"},
      "native": {"headline": "H", "icon": true}, "click": false}}})");
  ASSERT_EQ(AdSource::shared().loadScenarioFile(path.string()), std::nullopt);

  const AdScript script = AdSource::shared().scriptFor("b");
  EXPECT_EQ(script.revenue, (GADAdValue{*Decimal::fromString("0.0125"), "EUR", 3}))
      << "inherited from default";
  EXPECT_FALSE(script.click) << "the unit overrides the default";
  EXPECT_EQ(script.reward, (GADAdReward{*Decimal::fromString("2.5"), "gems"}));
  EXPECT_EQ(script.adSize, (std::pair{320, 50}));
  ASSERT_TRUE(script.native);
  EXPECT_EQ(script.native->headline, "H");
  EXPECT_TRUE(script.native->icon);
  EXPECT_FALSE(script.native->media);
}

TEST_F(AdSourceTest, StartReportsScriptedAdapterStatesAsynchronouslyAndDecodesInTheBackground) {
  std::map<std::string, GADAdapterStatus> seen;
  int calls = 0;
  auto start = [&] {
    GADMobileAds::sharedInstance().startWithCompletionHandler([&](const auto& status) {
      ++calls;
      seen = status.adapterStatusesByClassName();
    });
  };
  // The start also decodes the built-in pictures, in a background task, not in the call,
  // and only once the host has a window: a host without one keeps the graphics stack out.
  tilo::platform::forgetWindowsForTesting();
  tilo::platform::NotificationCenter::defaultCenter().post(
      tilo::platform::kDidReceiveMemoryWarningNotification);
  ASSERT_EQ(TestCreatives::cachedImageCount(), 0u);
  ASSERT_EQ(tilo::platform::ImageRenditionCache::shared().count(), 0u);
  start();
  EXPECT_EQ(calls, 0);
  env.runUntilIdle();
  ASSERT_EQ(calls, 1);
  EXPECT_EQ(TestCreatives::cachedImageCount(), 0u);
  auto window = tilo::platform::UIWindow::create({320, 50}, 1);
  EXPECT_EQ(TestCreatives::cachedImageCount(), 0u);
  env.runUntilIdle();
  EXPECT_EQ(TestCreatives::cachedImageCount(), 8u);  // banner, MREC, three icons and media
  EXPECT_EQ(tilo::platform::ImageRenditionCache::shared().count(), 8u) << "their pixels too";
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen.at("GADMobileAds").state, GADAdapterStatus::ready);

  scenario(R"({"start": {"GADMobileAds": "notReady", "Other": "ready"}})");
  start();
  env.runUntilIdle();
  EXPECT_EQ(seen.at("GADMobileAds").state, GADAdapterStatus::notReady);
  EXPECT_EQ(seen.at("Other").state, GADAdapterStatus::ready);
}

// Until a scenario is loaded every unit fills with the built-in creatives and pays; a
// scenario (or the tests' reset) replaces that.
TEST_F(AdSourceTest, BuiltInTestAdsHaveCreativesAndRevenueUntilAScenarioReplacesThem) {
  AdSource::shared().useBuiltInTestAds();
  const AdScript builtIn = AdSource::shared().scriptFor("any-unit");
  EXPECT_EQ(builtIn.revenue, (GADAdValue{*Decimal::fromString("0.0125"), "USD", 3}));
  auto native = std::make_shared<GADNativeAd>(builtIn);
  for (const auto& text : {native->headline(), native->body(), native->callToAction(),
                           native->advertiser(), native->clickUrl()}) {
    EXPECT_TRUE(text && !text->empty());
  }
  ASSERT_TRUE(native->icon() && native->mediaContent());
  EXPECT_EQ(native->icon()->image->size().width, 64);
  EXPECT_NEAR(native->mediaContent()->aspectRatio(), 16.0 / 9, 0.01);
  // Each full-screen format has a creative of its own, pictures included.
  const Creative rewarded = TestCreatives::creativeFor(builtIn, "rewarded");
  EXPECT_NE(rewarded.headline, TestCreatives::creativeFor(builtIn, "interstitial").headline);
  EXPECT_TRUE(rewarded.media && rewarded.icon && rewarded.callToAction);
  EXPECT_EQ(TestCreatives::bannerPicture(320, 50)->pixelWidth(), 640);

  scenario(R"({"units": {"u": {}}})");
  const AdScript scripted = AdSource::shared().scriptFor("u");
  EXPECT_FALSE(scripted.revenue);
  EXPECT_FALSE(std::make_shared<GADNativeAd>(scripted)->headline());
}

// Image files a scenario names are refused with the reason before anything is decoded.
TEST_F(AdSourceTest, CreativeImageFilesThatAreMissingNotImagesOrHugeAreRefused) {
  tilo::test::TempDir dir;
  using tilo::platform::FileSystem;
  // Valid headers claiming 100000 x 100000 pixels (PNG) and 5000 x 5000 (JPEG frame).
  FileSystem::atomicWrite(
      dir.path() / "huge.png",
      std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\x01\x86\xa0\0\x01\x86\xa0\x08\x06\0\0\0", 29));
  FileSystem::atomicWrite(
      dir.path() / "huge.jpg",
      std::string("\xff\xd8\xff\xe0\0\x04\0\0\xff\xc0\0\x0b\x08\x13\x88\x13\x88\x03", 18));
  // A 50 MB file (sparse) is refused by its size, before a byte of it is read.
  FileSystem::atomicWrite(dir.path() / "big.png", "\x89PNG");
  std::filesystem::resize_file(dir.path() / "big.png", 50u << 20);
  FileSystem::atomicWrite(dir.path() / "text.png", "hello");
  FileSystem::atomicWrite(dir.path() / "cut.png", "\x89PNG");
  const std::pair<const char*, const char*> refused[] = {
      {"missing.png", "missing.png"},
      {"text.png", "is not a PNG or JPEG image"},
      {"cut.png", "is not a PNG or JPEG image"},
      {"huge.png", "100000 x 100000 pixels"},
      {"huge.jpg", "5000 x 5000 pixels"},
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
