// Presenting scripted full-screen ads: callback order, paid events, rewards, refusals.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mediation/AdSource.h"
#include "mediation/GADAppOpenAd.h"
#include "mediation/GADInterstitialAd.h"
#include "mediation/GADRewardedAd.h"
#include "platform/TestEnvironment.h"

using namespace tilo::mediation;
using tilo::platform::Decimal;
using tilo::platform::parseJson;
using tilo::platform::TestEnvironment;

namespace {

class Recorder : public GADFullScreenContentDelegate {
 public:
  std::vector<std::string> events;
  void adWillPresentFullScreenContent() override { events.push_back("willPresent"); }
  void adDidDismissFullScreenContent() override { events.push_back("dismiss"); }
  void didFailToPresentFullScreenContentWithError(const NSError& error) override {
    events.push_back("fail:" + std::to_string(error.code) + ":" + error.localizedDescription);
  }
  void adDidRecordImpression() override { events.push_back("impression"); }
  void adDidRecordClick() override { events.push_back("click"); }
};

class FullScreenAdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AdSource::shared().reset();
    ASSERT_EQ(AdSource::shared().loadScenario(parseJson(R"({"units": {
      "full": {"revenue": {"value": "0.0125", "currency": "USD", "precision": 3},
               "click": true, "reward": {"amount": 10, "type": "coins"}, "dismissAfterMs": 1500},
      "quiet": {"reward": null},
      "broken": {"presentError": {"domain": "com.google.admob", "code": 11, "description": "boom"}},
      "stale": {"expiresAfterMs": 60000}}})")),
              std::nullopt);
  }
  void TearDown() override { AdSource::shared().reset(); }

  template <class Ad>
  std::shared_ptr<Ad> load(const std::string& unit) {
    std::shared_ptr<Ad> loaded;
    Ad::loadWithAdUnitID(unit, GADRequest::create(), [&](auto ad, auto) { loaded = ad; });
    env.runUntilIdle();
    EXPECT_TRUE(loaded);
    return loaded;
  }

  // Delegate and paid handler as the SDK installs them; paid values land in `events` too.
  std::shared_ptr<Recorder> attach(GADFullScreenAd& ad) {
    auto recorder = std::make_shared<Recorder>();
    ad.setFullScreenContentDelegate(recorder);
    ad.setPaidEventHandler([weak = std::weak_ptr(recorder)](const GADAdValue& value) {
      if (auto recorder = weak.lock()) {
        recorder->events.push_back("paid:" + value.value.description() + " " + value.currencyCode +
                                   " " + std::to_string(value.precision));
      }
    });
    return recorder;
  }

  TestEnvironment env;
};

TEST_F(FullScreenAdTest, RewardedPresentationRunsInPlatformOrderAndDismissesOnTime) {
  auto ad = load<GADRewardedAd>("full");
  auto recorder = attach(*ad);
  EXPECT_EQ(ad->adReward(), (GADAdReward{Decimal(10), "coins"}));

  ad->presentFromRootViewController(nullptr, [&] { recorder->events.push_back("reward"); });
  EXPECT_TRUE(recorder->events.empty()) << "callbacks follow the present call";
  env.runUntilIdle();
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"willPresent", "impression",
                                                        "paid:0.0125 USD 3", "click", "reward"}));
  env.advance(1.499);
  EXPECT_EQ(recorder->events.size(), 5u);
  env.advance(0.001);
  EXPECT_EQ(recorder->events.back(), "dismiss");
}

TEST_F(FullScreenAdTest, SecondPresentIsRefusedSilently) {
  auto ad = load<GADInterstitialAd>("quiet");
  auto recorder = attach(*ad);
  NSError error;
  EXPECT_TRUE(ad->canPresentFromRootViewController(nullptr, &error));
  ad->presentFromRootViewController(tilo::platform::UIViewController::create("root"));
  env.runUntilIdle();
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"willPresent", "impression", "dismiss"}))
      << "no paid event or click unless scripted";

  EXPECT_FALSE(ad->canPresentFromRootViewController(nullptr, &error));
  EXPECT_EQ(error.domain, kGADErrorDomain);
  EXPECT_EQ(error.code, GADErrorAdAlreadyUsed);
  EXPECT_FALSE(ad->canPresentFromRootViewController(nullptr, nullptr));
  ad->presentFromRootViewController(nullptr);
  env.advance(60);
  EXPECT_EQ(recorder->events.size(), 3u);
}

TEST_F(FullScreenAdTest, PresentErrorArrivesAsTheOnlyCallback) {
  auto ad = load<GADAppOpenAd>("broken");
  auto recorder = attach(*ad);
  ad->presentFromRootViewController(nullptr);
  env.advance(60);
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"fail:11:boom"}));
}

TEST_F(FullScreenAdTest, RewardIsGrantedOnlyWhenScripted) {
  auto ad = load<GADRewardedAd>("quiet");
  auto recorder = attach(*ad);
  EXPECT_EQ(ad->adReward(), GADAdReward{});
  bool earned = false;
  ad->presentFromRootViewController(nullptr, [&] { earned = true; });
  env.runUntilIdle();
  EXPECT_FALSE(earned);
  EXPECT_EQ(recorder->events.back(), "dismiss");

  // The default script grants a reward.
  auto plain = load<GADRewardedAd>("unscripted");
  plain->presentFromRootViewController(nullptr, [&] { earned = true; });
  env.runUntilIdle();
  EXPECT_TRUE(earned);
  EXPECT_EQ(plain->adReward(), (GADAdReward{Decimal(1), "reward"}));
}

TEST_F(FullScreenAdTest, ServerSideVerificationOptionsReadBackAsSet) {
  auto ad = load<GADRewardedAd>("full");
  EXPECT_FALSE(ad->serverSideVerificationOptions());
  ad->setServerSideVerificationOptions(GADServerSideVerificationOptions{"user-1", "custom"});
  EXPECT_EQ(ad->serverSideVerificationOptions(),
            (GADServerSideVerificationOptions{"user-1", "custom"}));
}

TEST_F(FullScreenAdTest, ExpiredAdIsNotPresentable) {
  auto ad = load<GADInterstitialAd>("stale");
  auto recorder = attach(*ad);
  env.advance(59.999);
  EXPECT_TRUE(ad->canPresentFromRootViewController(nullptr, nullptr));
  env.advance(0.001);
  NSError error;
  EXPECT_FALSE(ad->canPresentFromRootViewController(nullptr, &error));
  EXPECT_EQ(error.domain, kGADErrorDomain);
  ad->presentFromRootViewController(nullptr);
  env.runUntilIdle();
  EXPECT_TRUE(recorder->events.empty());
}

TEST_F(FullScreenAdTest, ReleasedDelegateAndDroppedAdEndNothingEarly) {
  auto ad = load<GADInterstitialAd>("full");
  auto recorder = attach(*ad);
  ad->presentFromRootViewController(nullptr);
  std::weak_ptr<GADInterstitialAd> weakAd = ad;
  ad.reset();
  env.runUntilIdle();
  // The platform keeps a presented ad alive until it closes.
  EXPECT_FALSE(weakAd.expired());
  EXPECT_EQ(recorder->events.size(), 4u);
  recorder.reset();  // the delegate goes away before the dismissal
  env.advance(1.5);
  EXPECT_TRUE(weakAd.expired());
}

}  // namespace
