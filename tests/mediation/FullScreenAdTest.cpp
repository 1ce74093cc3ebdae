// The scripted full-screen ads below the SDK: what only the stand-in decides (the SDK's own
// tests cover the callbacks as the host sees them), and the screen they draw.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mediation/AdSource.h"
#include "mediation/GADAppOpenAd.h"
#include "mediation/GADFullScreenAdViewController.h"
#include "mediation/GADInterstitialAd.h"
#include "mediation/GADRewardedAd.h"
#include "platform/Application.h"
#include "platform/Bundle.h"
#include "platform/FileSystem.h"
#include "platform/NotificationCenter.h"
#include "platform/TestEnvironment.h"
#include "platform/ui/UIWindow.h"
#include "support/GoldenImage.h"
#include "support/TempDir.h"

using namespace tilo::mediation;
using tilo::platform::parseJson;
using tilo::platform::TestEnvironment;
using tilo::platform::UIView;
using tilo::platform::UIViewController;
using tilo::platform::UIWindow;

namespace {

using Strings = std::vector<std::string>;

std::shared_ptr<UIView> findView(const std::shared_ptr<UIView>& root, const std::string& id) {
  if (root->accessibilityIdentifier() == id) return root;
  for (const auto& child : root->subviews()) {
    if (auto found = findView(child, id)) return found;
  }
  return nullptr;
}

// Taps the middle of the view named `id`; false when there is none.
bool tap(UIWindow& window, const std::string& id) {
  window.layoutIfNeeded();
  auto view = findView(window.shared_from_this(), id);
  if (!view) return false;
  const auto box = view->bounds();
  return window.tap(view->convertPointToView({box.midX(), box.midY()}, &window));
}

std::string textOf(UIWindow& window, const std::string& id) {
  auto label =
      std::dynamic_pointer_cast<tilo::platform::UILabel>(findView(window.shared_from_this(), id));
  return label ? label->text() : "<no label " + id + ">";
}

class Recorder : public GADFullScreenContentDelegate {
 public:
  Strings events;
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
      "quiet": {"reward": null},
      "tapped": {"dismissAfterMs": null, "clickUrl": "https://example.com/landing"},
      "counting": {"countdownMs": 2500, "dismissAfterMs": 1000,
                   "native": {"headline": "Dragon Rally", "body": "Race dragons.",
                              "callToAction": "Play", "media": true}}}})")),
              std::nullopt);
    root->view()->setBackgroundColor(tilo::platform::UIColor::systemBackgroundColor());
    window->setRootViewController(root);
    previousOpener = tilo::platform::Application::shared().setOpenURLHandler(
        [this](const std::string& url) { opened.push_back(url); });
  }
  void TearDown() override {
    tilo::platform::Application::shared().setOpenURLHandler(previousOpener);
    AdSource::shared().reset();
  }

  template <class Ad>
  std::shared_ptr<Ad> load(const std::string& unit) {
    std::shared_ptr<Ad> loaded;
    Ad::loadWithAdUnitID(unit, GADRequest::create(), [&](auto ad, auto) { loaded = ad; });
    env.runUntilIdle();
    EXPECT_TRUE(loaded);
    return loaded;
  }

  TestEnvironment env;
  std::shared_ptr<UIWindow> window = UIWindow::create({390, 844}, 1, {47, 0, 34, 0});
  std::shared_ptr<UIViewController> root = UIViewController::create("game");
  Strings opened;
  tilo::platform::Application::OpenURLHandler previousOpener;
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
  EXPECT_EQ(recorder->events, (Strings{"willPresent", "impression", "dismiss"}));

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
  EXPECT_EQ(recorder->events, (Strings{"willPresent", "impression", "click"}));
  recorder.reset();
  env.advance(1.5);
  EXPECT_TRUE(weakAd.expired());
}

// Taps on the call to action are clicks that hand the destination to the host, a tap on
// close dismisses. (Where the parts sit, inside the safe area, the golden screens pin.)
TEST_F(FullScreenAdTest, ItsScreenComesOverTheHostAndTapsDriveClicksAndTheDismissal) {
  auto ad = load<GADInterstitialAd>("tapped");
  auto recorder = std::make_shared<Recorder>();
  ad->setFullScreenContentDelegate(recorder);
  ad->presentFromRootViewController(root);
  env.runUntilIdle();
  EXPECT_TRUE(tap(*window, "interstitial.cta"));
  EXPECT_TRUE(tap(*window, "interstitial.cta"));
  env.runUntilIdle();  // each destination opens on the turn after its click
  EXPECT_EQ(opened, (Strings{"https://example.com/landing", "https://example.com/landing"}));
  env.advance(600);  // "dismissAfterMs": null: only a tap closes it
  EXPECT_EQ(recorder->events, (Strings{"willPresent", "impression", "click", "click"}));
  EXPECT_TRUE(tap(*window, "interstitial.close"));
  EXPECT_EQ(recorder->events.back(), "dismiss");
  EXPECT_FALSE(root->presentedViewController());
  EXPECT_FALSE(findView(window, "interstitial"));

  // Without a view controller an app-open ad goes over the key window, naming the app.
  tilo::test::TempDir bundle;
  tilo::platform::FileSystem::atomicWrite(
      bundle.path() / "Info.plist",
      tilo::platform::PlistValue(
          tilo::platform::PlistValue::Dictionary{{"CFBundleDisplayName", "Puzzle Land"}})
          .toXml());
  tilo::platform::Bundle::setMainBundleDirectory(bundle.path());
  window->makeKeyWindow();
  auto appOpen = load<GADAppOpenAd>("full");
  appOpen->presentFromRootViewController(nullptr);
  env.runUntilIdle();
  tilo::platform::Bundle::setMainBundleDirectory(std::nullopt);
  EXPECT_EQ(textOf(*window, "appOpen.appName"), "Puzzle Land");
  EXPECT_EQ(opened.size(), 3u) << "the scripted click is a tap on the call to action";
  env.advance(1.5);
  EXPECT_FALSE(root->presentedViewController());
}

// A rewarded ad counts down in whole seconds; the reward and the close button come when it
// ends, and a scripted dismissal due earlier waits for the close button.
TEST_F(FullScreenAdTest, RewardedCountsDownBeforeItsRewardAndItsCloseButton) {
  auto ad = load<GADRewardedAd>("counting");
  auto recorder = std::make_shared<Recorder>();
  ad->setFullScreenContentDelegate(recorder);
  bool earned = false;
  ad->presentFromRootViewController(root, [&] {
    earned = true;
    recorder->events.push_back("reward");
  });
  env.runUntilIdle();
  // The first frame (scripted assets, "Reward in 3 s", no close button) is a golden screen.
  EXPECT_FALSE(tap(*window, "rewarded.close")) << "not there to be tapped";
  env.advance(0.5);
  EXPECT_EQ(textOf(*window, "rewarded.countdown"), "Reward in 2 s");
  env.advance(1.0);
  EXPECT_EQ(textOf(*window, "rewarded.countdown"), "Reward in 1 s");
  EXPECT_FALSE(earned);
  EXPECT_EQ(recorder->events.back(), "impression") << "the 1 s dismissal waits";
  env.advance(0.999);
  EXPECT_FALSE(earned);
  env.advance(0.001);
  EXPECT_TRUE(earned);
  EXPECT_EQ(recorder->events, (Strings{"willPresent", "impression", "reward", "dismiss"}));
}

// The screens as drawn, in both appearances.
TEST_F(FullScreenAdTest, GoldenScreens) {
  const std::string golden = TILO_SOURCE_DIR "/tests/mediation/golden/";
  // Pictures decoded at the size they are drawn, as a fresh process has them, not at the
  // file's size that a start's warm-up earlier in this process left.
  tilo::platform::NotificationCenter::defaultCenter().post(
      tilo::platform::kDidReceiveMemoryWarningNotification);
  auto interstitial = load<GADInterstitialAd>("tapped");
  interstitial->presentFromRootViewController(root);
  env.runUntilIdle();
  tilo::test::expectGoldenImage(*window, golden + "interstitial-light.png");
  ASSERT_TRUE(tap(*window, "interstitial.close"));

  window->setAppearance(tilo::platform::UIUserInterfaceStyle::dark);
  auto rewarded = load<GADRewardedAd>("counting");
  rewarded->presentFromRootViewController(root, [] {});
  env.runUntilIdle();
  tilo::test::expectGoldenImage(*window, golden + "rewarded-countdown-dark.png");
  env.advance(3.0);  // the countdown ends and the scripted close follows: nothing is left
  EXPECT_EQ(root->presentedViewController(), nullptr);
}

}  // namespace
