// The scripted full-screen ads below the SDK: what only the stand-in decides (the SDK's own
// tests cover the callbacks as the host sees them).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mediation/AdSource.h"
#include "mediation/GADInterstitialAd.h"
#include "mediation/GADRewardedAd.h"
#include "platform/TestEnvironment.h"

using namespace tilo::mediation;
using tilo::platform::parseJson;
using tilo::platform::TestEnvironment;

namespace {

class Recorder : public GADFullScreenContentDelegate {
 public:
  std::vector<std::string> events;
  void adWillPresentFullScreenContent() override { events.push_back("willPresent"); }
  void adDidDismissFullScreenContent() override { events.push_back("dismiss"); }
  void didFailToPresentFullScreenContentWithError(const NSError&) override {
    events.push_back("fail");
  }
  void adDidRecordImpression() override { events.push_back("impression"); }
  void adDidRecordClick() override { events.push_back("click"); }
};

class FullScreenAdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AdSource::shared().reset();
    ASSERT_EQ(AdSource::shared().loadScenario(parseJson(R"({"units": {
      "full": {"click": true, "dismissAfterMs": 1500},
      "quiet": {"reward": null}}})")),
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

  TestEnvironment env;
};

TEST_F(FullScreenAdTest, RewardsOnlyWhenScriptedAndAPresentedAdLivesUntilItCloses) {
  // 1. A unit scripted without a reward presents and closes, but never grants one.
  auto quiet = load<GADRewardedAd>("quiet");
  auto recorder = std::make_shared<Recorder>();
  quiet->setFullScreenContentDelegate(recorder);
  bool earned = false;
  quiet->presentFromRootViewController(nullptr, [&] { earned = true; });
  env.runUntilIdle();
  EXPECT_FALSE(earned);
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"willPresent", "impression", "dismiss"}));

  // 2. Nobody but the platform holds a presented ad, nor its delegate, before the dismissal:
  //    the ad stays alive until it closes, then goes.
  auto ad = load<GADInterstitialAd>("full");
  recorder = std::make_shared<Recorder>();
  ad->setFullScreenContentDelegate(recorder);
  ad->presentFromRootViewController(nullptr);
  std::weak_ptr<GADInterstitialAd> weakAd = ad;
  ad.reset();
  env.runUntilIdle();
  EXPECT_FALSE(weakAd.expired());
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"willPresent", "impression", "click"}));
  recorder.reset();
  env.advance(1.5);
  EXPECT_TRUE(weakAd.expired());
}

}  // namespace
