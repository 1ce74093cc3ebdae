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
#include "mediation/ImpressionWatcher.h"
#include "platform/Application.h"
#include "platform/Bundle.h"
#include "platform/FileSystem.h"
#include "platform/TestEnvironment.h"
#include "platform/ui/UIWindow.h"
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

// (Taps on the call to action are clicks whose destination leaves through the host, a tap
// on close dismisses, and the screens as drawn in both appearances: FullScreenAdsTest's
// C API window test and ReadmePictures.)
// Without a view controller an app-open ad goes over the key window, naming the app.
TEST_F(FullScreenAdTest, WithoutAViewControllerAnAppOpenAdComesOverTheKeyWindow) {
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
  EXPECT_EQ(opened.size(), 1u) << "the scripted click is a tap on the call to action";
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
  EXPECT_EQ(textOf(*window, "rewarded.countdown"), "Reward in 3 s");
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

TEST(ImpressionCheckTest, AnAdIsSeenWithHalfOfItInsideTheWindow) {
  TestEnvironment env;
  auto window = UIWindow::create({100, 100}, 1);
  auto ad = UIView::create({0, 50, 100, 100});
  window->addSubview(ad);
  EXPECT_TRUE(isViewOnScreenForImpression(*ad));
  ad->setFrame({0, 51, 100, 100});
  EXPECT_FALSE(isViewOnScreenForImpression(*ad));
}

}  // namespace
