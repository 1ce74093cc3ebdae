#include "Tilo/ads/TiloAdPresenter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "ads/FullScreenTestSupport.h"
#include "ads/MarkerWatch.h"
#include "mediation/GADRequest.h"

namespace tilo::test {
namespace {

using Strings = std::vector<std::string>;

using mediation::GADRewardedAd;
using mediation::GADServerSideVerificationOptions;

class TiloAdPresenterTest : public FullScreenTest {
 protected:
  // A rewarded ad built around a platform ad the test keeps, to look at what the SDK set.
  std::shared_ptr<TiloRewardedAd> rewardedAround(std::shared_ptr<GADRewardedAd>& gad) {
    GADRewardedAd::loadWithAdUnitID("gad/rewarded", mediation::GADRequest::create(),
                                    [&](auto ad, auto) { gad = ad; });
    sdk.env().runUntilIdle();
    EXPECT_TRUE(gad);
    TiloAdUnitItem item{"rewarded-unit", "gad/rewarded", "R", "rewarded", 30, std::nullopt};
    auto presenter =
        TiloAdPresenter<TiloRewardedAd>::create(makeAdMobAd(gad), item, TiloAdFormat::rewarded);
    return TiloRewardedAd::create(presenter, presenter->listener());
  }
};

TEST_F(TiloAdPresenterTest, ShowRunsDisplayCallbacksInsideMarkersAfterTheShowMarker) {
  script("gad/inter",
         R"({"network":"Vungle","latencies":[0.25],"click":true,"dismissAfterMs":1000})");
  auto loader = TiloInterstitialAdLoader::create(TiloAdUnit{"interstitial-unit", std::nullopt});
  auto ad = loadNow(loader, sdk.env());
  ASSERT_TRUE(ad);
  Strings calls;
  ad->interstitialListener()->onShown = [&](auto info) {
    auto marker = adCallbackMarker();
    calls.push_back("shown:" + marker->phase + ":" + *marker->adUnitId + ":" + *marker->adNetwork);
    EXPECT_EQ(info->adNetwork, "Vungle");
  };
  ad->interstitialListener()->onDismiss = [&](auto) {
    calls.push_back("dismiss:" + markerPhase());
  };
  ad->interstitialListener()->onFailedToShow = [&](auto, auto&) { calls.push_back("failed"); };

  MarkerWatch watch;
  EXPECT_TRUE(ad->isReady());
  ad->show();
  // The show marker covers only the platform's present call; callbacks come later.
  const std::string showFlag = "tilo_crash_ad_show_crash.flag";
  EXPECT_EQ(watch.take(showFlag), (Strings{"+" + showFlag, "-" + showFlag}));
  EXPECT_TRUE(calls.empty());
  sdk.env().runUntilIdle();
  EXPECT_EQ(calls, Strings{"shown:onShown:interstitial-unit:Vungle"});
  sdk.env().advance(1.0);
  EXPECT_EQ(calls, (Strings{"shown:onShown:interstitial-unit:Vungle", "dismiss:onDismiss"}));
  EXPECT_EQ(markerPhase(), "none");
  for (const char* line : {"DEBUG interstitial Ad isReady", "DEBUG interstitial Ad show",
                           "DEBUG interstitial Ad onShown", "DEBUG interstitial Ad impression",
                           "DEBUG interstitial Ad ad Clicked", "DEBUG interstitial Ad onDismiss"}) {
    EXPECT_EQ(logs.count(line), 1u) << line;
  }
  auto events = queuedAdEvents();
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[2].first, "ad_impression");
  EXPECT_EQ(events[2].second,
            platform::parseJsonKeepingOrder(R"({"adFormat":"interstitial",)"
                                            R"("adUnitId":"interstitial-unit",)"
                                            R"("adNetwork":"Vungle","latency":250.0})"));
}

TEST_F(TiloAdPresenterTest, RewardAndServerSideVerificationOptions) {
  script("gad/rewarded", R"({"reward":{"amount":10,"type":"coins"}})");
  std::shared_ptr<GADRewardedAd> gad;
  auto ad = rewardedAround(gad);

  // 1. Without a user id: custom data sets an empty user id; showing keeps the options.
  ad->setCustomData("level=3");
  EXPECT_EQ(gad->serverSideVerificationOptions(),
            (GADServerSideVerificationOptions{"", "level=3"}));
  ad->setPlacement("shop");
  EXPECT_EQ(gad->serverSideVerificationOptions(),
            (GADServerSideVerificationOptions{"", "level=3"}));

  Strings calls;
  ad->rewardedAdListener()->onShown = [&](auto) { calls.push_back("shown"); };
  ad->rewardedAdListener()->onEarnedReward = [&](auto info, std::optional<TiloRewardedItem> item) {
    calls.push_back("reward:" + std::to_string(item->amount) + " " + item->rewardType + ":" +
                    markerPhase() + ":" + info->adUnitId);
  };
  ad->show();
  EXPECT_EQ(gad->serverSideVerificationOptions(),
            (GADServerSideVerificationOptions{"", "level=3"}));
  sdk.env().runUntilIdle();
  EXPECT_EQ(calls, (Strings{"shown", "reward:10 coins:onEarnedReward:rewarded-unit"}));
  EXPECT_EQ(logs.count("DEBUG rewarded Ad rewarded"), 1u);

  // 2. With a user id: showing replaces the user id and keeps the custom string.
  std::shared_ptr<GADRewardedAd> gad2;
  auto ad2 = rewardedAround(gad2);
  ad2->setCustomData("level=4");
  TiloAds::shared()->setUserId("user-7");
  ad2->show();
  EXPECT_EQ(gad2->serverSideVerificationOptions(),
            (GADServerSideVerificationOptions{"user-7", "level=4"}));
  ad2->setCustomData("x");
  EXPECT_EQ(gad2->serverSideVerificationOptions(),
            (GADServerSideVerificationOptions{"user-7", "x"}));
}

TEST_F(TiloAdPresenterTest, ShowingAdOutlivesItsHostUntilThePresentationEnds) {
  // 1. The host lets go of the loader and the ad from onShown (to preload the next one):
  //    the dismissal still reaches it, and the presentation then lets go too.
  script("gad/inter", R"({"dismissAfterMs":1000})");
  auto loader = TiloInterstitialAdLoader::create(TiloAdUnit{"interstitial-unit", std::nullopt});
  auto ad = loadNow(loader, sdk.env());
  ASSERT_TRUE(ad);
  std::weak_ptr<AdPresentable> presenter = ad->adPresenter();
  Strings calls;
  ad->interstitialListener()->onShown = [&](auto) {
    calls.push_back("shown");
    loader.reset();
    ad.reset();
  };
  ad->interstitialListener()->onDismiss = [&](auto) { calls.push_back("dismiss"); };
  ad->show();
  sdk.env().runUntilIdle();
  EXPECT_EQ(calls, Strings{"shown"});
  EXPECT_FALSE(presenter.expired());
  sdk.env().advance(1.0);
  EXPECT_EQ(calls, (Strings{"shown", "dismiss"}));
  EXPECT_TRUE(presenter.expired());

  // 2. The same for a presentation that fails, with the ad dropped right after show(). The
  //    callbacks stay with the listener the ad was loaded with, and run inside the marker.
  script(
      "gad/appopen",
      R"({"network":null,"presentError":{"domain":"com.google.admob","code":11,"description":"Oops"}})");
  auto appOpenLoader = TiloAppOpenAdLoader::create(TiloAdUnit{"appopen-unit", std::nullopt});
  auto appOpen = loadNow(appOpenLoader, sdk.env());
  ASSERT_TRUE(appOpen);
  // No network in the response: empty name and zero latency, never absent.
  EXPECT_EQ(describe(appOpen->adInfo()), "appOpen appopen-unit 0 ");
  presenter = appOpen->adPresenter();
  auto original = appOpen->appOpenAdListener();
  appOpen->setAppOpenAdListener(TiloAppOpenListener::create());
  std::optional<TiloError> failure;
  original->onFailedToShow = [&](auto, const TiloError& error) {
    failure = error;
    calls.push_back("failed:" + markerPhase());
  };
  original->onShown = [&](auto) { calls.push_back("shown"); };
  appOpen->show();
  appOpen.reset();
  appOpenLoader.reset();
  sdk.env().runUntilIdle();
  EXPECT_EQ(calls, (Strings{"shown", "dismiss", "failed:onFailedToShow"}));
  ASSERT_TRUE(failure) << "its code and text: FullScreenAdsTest's error table and show problems";
  EXPECT_EQ(logs.count("ERROR appOpen Ad onFailedToShow: Oops"), 1u);
  EXPECT_TRUE(presenter.expired());

  // 3. A show the platform refuses starts no presentation: nothing keeps the ad.
  auto again = TiloInterstitialAdLoader::create(TiloAdUnit{"interstitial-unit", std::nullopt});
  auto used = loadNow(again, sdk.env());
  used->show();
  sdk.env().advance(1.0);
  presenter = used->adPresenter();
  used->show();  // refused: already presented
  used.reset();
  again.reset();
  EXPECT_TRUE(presenter.expired());
}

TEST_F(TiloAdPresenterTest, RewardAmountIsTheWholePartInSixtyFourBits) {
  auto rewardFor = [&](const std::string& amount) -> std::optional<std::int64_t> {
    script("gad/rewarded", R"({"reward":{"amount":)" + amount + R"(,"type":"coins"}})");
    auto loader = TiloRewardedAdLoader::create(TiloAdUnit{"rewarded-unit", std::nullopt});
    auto ad = loadNow(loader, sdk.env());
    std::optional<std::int64_t> granted;
    ad->rewardedAdListener()->onEarnedReward = [&](auto, std::optional<TiloRewardedItem> item) {
      granted = item->amount;
    };
    ad->show();
    sdk.env().runUntilIdle();
    return granted;
  };
  EXPECT_EQ(rewardFor("3000000000"), 3000000000);
  EXPECT_EQ(rewardFor("\"9007199254740993\""), 9007199254740993);  // 2^53 + 1: no double
  EXPECT_EQ(rewardFor("\"5.7\""), 5);  // a scenario refuses negative ones
  EXPECT_EQ(logs.count("Reward amount out of range"), 0u);
  EXPECT_EQ(rewardFor("\"99999999999999999999\""), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(logs.count("ERROR Reward amount out of range, clamped: 99999999999999999999"), 1u);
}

}  // namespace
}  // namespace tilo::test
