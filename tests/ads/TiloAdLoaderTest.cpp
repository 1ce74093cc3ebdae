#include "Tilo/ads/TiloAdLoader.h"

#include <gtest/gtest.h>

#include "ads/FullScreenTestSupport.h"
#include "ads/MarkerWatch.h"
#include "mediation/APSAdMobUtils.h"
#include "support/RecordingPlugin.h"

namespace tilo::test {
namespace {

using Strings = std::vector<std::string>;

using TiloAdLoaderTest = FullScreenTest;

TEST_F(TiloAdLoaderTest, PlatformFailureMapsErrorAndKeepsPlatformCodeInAnalytics) {
  script(
      "gad/rewarded",
      R"({"result":"error","error":{"domain":"com.google.admob","code":3,"description":"Boom"}})");
  auto loader = TiloRewardedAdLoader::create(TiloAdUnit{"rewarded-unit", std::nullopt});
  Strings order;
  std::optional<TiloError> hostError;
  loader->listener()->onAdLoadFail = [&](const TiloError& error) {
    order.push_back("listener");
    hostError = error;
  };
  std::optional<Result<std::shared_ptr<TiloRewardedAd>>> result;
  loader->loadAd([&](auto outcome) {
    order.push_back("completion");
    result = outcome;
  });
  sdk.env().runUntilIdle();

  EXPECT_EQ(order, (Strings{"listener", "completion"}));
  ASSERT_TRUE(hostError && result && !result->ok());
  EXPECT_EQ(localizedDescription(*result->error()), hostError->message());
  EXPECT_EQ(hostError->message(), "Ad server error: Boom");
  EXPECT_EQ(loader->ad(), nullptr);
  EXPECT_EQ(logs.count("ERROR ❌ rewarded 광고 로드 실패: networkError, Ad server error: Boom"), 1u);
  // (The platform's code and text in the backend's event: FullScreenAdsTest's load errors.)
}

TEST_F(TiloAdLoaderTest, LoadAdReportsToListenerFirstAndLastSuccessWins) {
  auto loader = TiloAppOpenAdLoader::create(TiloAdUnit{"appopen-unit", std::nullopt});
  std::vector<std::shared_ptr<TiloAppOpenAd>> delivered;
  loader->listener()->onAdLoadSuccess = [&](auto ad, auto) { delivered.push_back(ad); };

  auto ad = loadNow(loader, sdk.env());
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_EQ(delivered[0], ad);

  // 1. A slow load, then a fast one: both report, the slow one finishes last and stays.
  script("gad/appopen", R"({"delayMs":200})");
  loader->load();
  sdk.env().runUntilIdle();
  script("gad/appopen", R"({"delayMs":0})");
  loader->load();
  sdk.env().runUntilIdle();
  ASSERT_EQ(delivered.size(), 2u);
  sdk.env().advance(0.2);
  ASSERT_EQ(delivered.size(), 3u);
  EXPECT_EQ(loader->ad(), delivered[2]);
  EXPECT_NE(delivered[1], delivered[2]);
}

TEST_F(TiloAdLoaderTest, ForwardsClicksAndImpressionsInsideCallbackMarkerWhileLoaderLives) {
  script("gad/inter", R"({"click":true})");
  auto loader = TiloInterstitialAdLoader::create(TiloAdUnit{"interstitial-unit", std::nullopt});
  Strings seen;
  loader->listener()->onAdImpression = [&](auto) { seen.push_back("impression:" + markerPhase()); };
  loader->listener()->onAdClicked = [&](auto info) {
    seen.push_back("click:" + markerPhase() + ":" + info->adUnitId);
  };
  auto ad = loadNow(loader, sdk.env());
  ASSERT_TRUE(ad);
  ad->show();
  sdk.env().runUntilIdle();
  EXPECT_EQ(seen, (Strings{"impression:onAdImpression", "click:onAdClicked:interstitial-unit"}));
  EXPECT_EQ(markerPhase(), "none");

  // A closure set on the ad's own listener replaces the loader's forwarding for that ad,
  // also when the host sets it as it hears of the ad.
  bool own = false;
  loader->listener()->onAdLoadSuccess = [&](auto ad, auto) {
    ad->listener()->onAdImpression = [&](auto) { own = true; };
  };
  auto second = loadNow(loader, sdk.env());
  seen.clear();
  second->show();
  sdk.env().runUntilIdle();
  EXPECT_TRUE(own);
  EXPECT_EQ(seen, Strings{"click:onAdClicked:interstitial-unit"});
}

TEST_F(TiloAdLoaderTest, ReleasedLoaderStopsForwardingButStillBracketsTheCallback) {
  script("gad/inter", R"({"click":true,"dismissAfterMs":60000,"revenue":{"value":"0.01"}})");
  auto loader = TiloInterstitialAdLoader::create(TiloAdUnit{"interstitial-unit", std::nullopt});
  int hostCalls = 0;
  loader->listener()->onAdClicked = [&](auto) { ++hostCalls; };
  loader->listener()->onAdImpression = [&](auto) { ++hostCalls; };
  auto plugin = RecordingPlugin::forAppKey(sdk.options().appKey);
  loader->registerPlugin(plugin);
  auto ad = loadNow(loader, sdk.env());
  ASSERT_TRUE(ad);
  loader.reset();

  MarkerWatch watch;
  ad->show();
  sdk.env().runUntilIdle();
  EXPECT_EQ(hostCalls, 0);
  EXPECT_TRUE(plugin->events.empty()) << "revenue went to the released loader's plugin";
  const std::string flag = "tilo_crash_ad_callback.flag";
  // onShown from the presenter, then the forwarded impression and click.
  EXPECT_EQ(watch.take(flag),
            (Strings{"+" + flag, "-" + flag, "+" + flag, "-" + flag, "+" + flag, "-" + flag}));
  // The presenter still reports analytics for the ad the host kept.
  EXPECT_EQ(queuedAdEvents().size(), 4u) << "with the impression and the click";
}

TEST(PlatformLoadRequest, AmazonExtrasOnlyForBannerSizedFormats) {
  platform::TestEnvironment env;
  TiloAdUnitItem item{"unit", "gad/unit", "n", "banner", 30, std::nullopt};
  auto extrasOf = [&](TiloAdFormat format, std::optional<std::string> slot) {
    Strings out;
    for (const auto& extras : beginPlatformLoad(format, item, slot)->adNetworkExtras()) {
      auto aps = std::dynamic_pointer_cast<mediation::APSAdNetworkExtras>(extras);
      out.push_back(aps->slotUUID + " " + aps->width + "x" + aps->height);
    }
    return out;
  };
  EXPECT_EQ(extrasOf(TiloAdFormat::banner, "s1"), Strings{"s1 320x50"});
  EXPECT_EQ(extrasOf(TiloAdFormat::mrec, "s2"), Strings{"s2 300x250"});
  for (auto format : {TiloAdFormat::interstitial, TiloAdFormat::rewarded, TiloAdFormat::appOpen})
    EXPECT_TRUE(extrasOf(format, "s3").empty());
  EXPECT_TRUE(extrasOf(TiloAdFormat::banner, std::nullopt).empty());
}

}  // namespace
}  // namespace tilo::test
