// The light popup over a host controller in a 390 × 844 window on mock time: the card's
// layout, the re-labelled callbacks, and when it closes (by itself after 6 s, later while
// something is on top of it, at once by its button, never without its ad object).
#include <set>

#include "ads/MarkerWatch.h"
#include "platform/NotificationCenter.h"
#include "platform/Timer.h"
#include "templates/TemplatesTestSupport.h"

namespace tilo::test {
namespace {

using platform::UIViewController;

constexpr double kTransition = UIViewController::transitionDuration;

class LightPopupTest : public TemplatesTest {
 protected:
  void finishTransition() {
    sdk.env().advance(kTransition);
    sdk.env().runUntilIdle();
  }
  bool presented() const { return game->presentedViewController() == popup; }
};

TEST_F(LightPopupTest, CallbacksCarryTheLightPopupFormat) {
  MarkerWatch markers;
  loadPopup(R"({"network": "Meta", "latencies": [0.2],
      "native": {"headline": "H", "icon": true, "media": true}})");
  // 1. Success: light popup format, same unit and latency, no network; marker cleared.
  ASSERT_EQ(loadInfos.size(), 1u);
  EXPECT_EQ(describe(loadInfos[0]), "lightPopup native-unit 200 -");
  // 2. No call to action: the invisible button is hidden (the bar staying, empty, is the
  //    lightPopup-noCta golden image).
  EXPECT_TRUE(popup->contentView()->internalCallToActionButton()->isHidden());
  // 3. Show: the show marker brackets the presentation; the impression is re-labelled.
  markers.take();
  ad->show(game);
  EXPECT_EQ(markers.take("tilo_crash_ad_show_crash.flag"),
            (std::vector<std::string>{"+tilo_crash_ad_show_crash.flag"}));
  settle(kTransition);
  EXPECT_EQ(markers.take("tilo_crash_ad_show_crash.flag"),
            (std::vector<std::string>{"-tilo_crash_ad_show_crash.flag"}));
  ASSERT_EQ(displayInfos.size(), 1u);
  EXPECT_EQ(describe(displayInfos[0].value_or(TiloAdInfo{})), "lightPopup native-unit - -");
  ASSERT_EQ(impressions.size(), 1u);
  EXPECT_EQ(describe(impressions[0]), "lightPopup native-unit 200 -");
}

TEST_F(LightPopupTest, ClosesSixSecondsAfterItAppeared) {
  loadPopup(R"({"native": {"headline": "H"}})");
  const long timersBefore = platform::Timer::liveCount();
  ad->show(game);
  // 1. Shown only when the presentation completes.
  sdk.env().advance(kTransition - 0.001);
  EXPECT_TRUE(shownAt.empty());
  sdk.env().advance(0.001);
  sdk.env().runUntilIdle();
  ASSERT_EQ(shownAt.size(), 1u);
  // 2. Still there a millisecond before 6 s; closing at 6 s.
  sdk.env().advance(6 - 0.001);
  EXPECT_TRUE(presented());
  EXPECT_TRUE(dismissedAt.empty());
  sdk.env().advance(0.001);
  finishTransition();
  // 3. Dismissed, with the dismiss callback and its ad info; no timer left running.
  EXPECT_FALSE(game->presentedViewController());
  ASSERT_EQ(dismissedAt.size(), 1u);
  ASSERT_EQ(displayInfos.size(), 2u);
  EXPECT_EQ(displayInfos[1].value_or(TiloAdInfo{}).adFormat, TiloAdFormat::lightPopup);
  EXPECT_FALSE(popup->dismissTimer());
  // 4. Releasing everything leaves no timer behind.
  ad.reset();
  popup.reset();
  loader.reset();
  settle();
  EXPECT_LE(platform::Timer::liveCount(), timersBefore);
}

TEST_F(LightPopupTest, WaitsInThreeSecondStepsWhileSomethingIsOnTop) {
  loadPopup(R"({"native": {"headline": "H"}})");
  ad->show(game);
  finishTransition();
  const double shown = sdk.env().mockClock().uptime();
  ASSERT_EQ(shownAt.size(), 1u);
  // 1. The ad opens a page over the popup 2 s in.
  sdk.env().advance(2);
  auto page = UIViewController::create("page");
  popup->presentViewController(page, false);
  sdk.env().runUntilIdle();
  // 2. At 6 s and at 9 s the page is still there: the close waits 3 s more each time.
  sdk.env().advance(shown + 9.5 - sdk.env().mockClock().uptime());
  EXPECT_TRUE(presented());
  ASSERT_TRUE(popup->dismissTimer());
  EXPECT_EQ(popup->dismissTimer()->interval(), 3);
  // 3. The page goes at 10 s; the popup closes at the next step, 12 s, not earlier.
  sdk.env().advance(0.5);
  page->dismissViewController(false);
  sdk.env().advance(1.999);
  EXPECT_TRUE(presented());
  sdk.env().advance(0.001);
  finishTransition();
  EXPECT_FALSE(game->presentedViewController());
  ASSERT_EQ(dismissedAt.size(), 1u);
  EXPECT_NEAR(dismissedAt[0] - shown, 12 + kTransition, 1e-6);
}

TEST_F(LightPopupTest, PopupWhoseAdIsGoneStaysUntilClosed) {
  loadPopup(R"({"native": {"headline": "H"}})");
  const auto listener = ad->lightPopupAdListener();
  // 1. The host lets go of the ad while the presentation runs.
  ad->show(game);
  ad.reset();
  finishTransition();
  EXPECT_TRUE(presented());
  EXPECT_TRUE(shownAt.empty());
  EXPECT_FALSE(popup->dismissTimer());
  // 2. No timer closes it.
  sdk.env().advance(60);
  EXPECT_TRUE(presented());
  // 3. The close button still does.
  window->layoutIfNeeded();
  const auto close = frameIn(*popup->closeButton(), *window);
  ASSERT_TRUE(window->tap({close.midX(), close.midY()}));
  finishTransition();
  EXPECT_FALSE(game->presentedViewController());
  EXPECT_EQ(dismissedAt.size(), 1u);
}

TEST_F(LightPopupTest, ConfigurationShowsWhenAssigned) {
  loadPopup(R"({"native": {"headline": "H", "callToAction": "Go"}})");
  auto& content = *popup->contentView();
  const auto style = platform::UIUserInterfaceStyle::light;
  auto bar = [&] { return content.fakeCTALabel()->backgroundColor()->hexString(style); };
  // 1. The defaults (system red bar, grouped-background card, "Close") are drawn in the
  //    golden images.
  const std::string defaultBar = bar();
  // 2. A change in place shows nothing.
  auto configuration = ad->configuration();
  configuration->ctaButtonBackgroundColor = platform::UIColor(0, 0, 1);
  configuration->closeButtonText = "Later";
  configuration->closeButtonTextColor = platform::UIColor(0, 1, 0);
  configuration->cardViewBackgroundColor = platform::UIColor(1, 1, 0);
  EXPECT_EQ(bar(), defaultBar);
  EXPECT_EQ(popup->closeButton()->currentTitle(), "Close");
  // 3. Assigned again: card, bar and close button (title, title colour and tint) change.
  ad->setConfiguration(configuration);
  EXPECT_EQ(bar(), "#0000FFFF");
  EXPECT_EQ(content.containerView()->backgroundColor()->hexString(style), "#FFFF00FF");
  EXPECT_EQ(popup->closeButton()->currentTitle(), "Later");
  EXPECT_EQ(
      popup->closeButton()->titleColorForState(platform::UIControlState::normal).hexString(style),
      "#00FF00FF");
  EXPECT_EQ(popup->closeButton()->tintColor().hexString(style), "#00FF00FF");
}

TEST_F(LightPopupTest, EveryLoadHasItsOwnPopupAndAReleasedLoaderEndsItsLoadsSilently) {
  script("gad/native", R"({"delayMs": 100, "native": {"headline": "H"}})");
  auto& center = platform::NotificationCenter::defaultCenter();
  const auto observers = center.observerCount(platform::kDidBecomeActiveNotification);
  loader = TiloLightPopupAdLoader::create(TiloAdUnit{"native-unit"});
  std::vector<std::shared_ptr<TiloLightPopupAd>> loaded;
  loader->listener()->onAdLoadSuccess = [&](auto popupAd, auto) { loaded.push_back(popupAd); };
  loader->listener()->onAdLoadFail = [&](auto error) { loadErrors.push_back(error); };
  // 1. Three loads in a row: three popups, each with its own controller.
  for (int i = 0; i < 3; ++i) loader->loadAd();
  settle();
  settle(0.1);
  ASSERT_EQ(loaded.size(), 3u);
  EXPECT_EQ(
      std::set({loaded[0]->lightPopupVC(), loaded[1]->lightPopupVC(), loaded[2]->lightPopupVC()})
          .size(),
      3u);
  EXPECT_TRUE(loadErrors.empty());
  loaded.clear();
  // 2. Released with three loads out: no callback, no controller left behind (each card
  //    watches the application while it lives), no load left in the tracker.
  for (int i = 0; i < 3; ++i) loader->loadAd();
  settle();
  EXPECT_EQ(loadsOf("gad/native"), 6u);
  ASSERT_TRUE(readAdLoadTracker());
  loader.reset();
  sdk.env().advance(1);
  EXPECT_TRUE(loaded.empty());
  EXPECT_TRUE(loadErrors.empty());
  EXPECT_EQ(center.observerCount(platform::kDidBecomeActiveNotification), observers);
  EXPECT_FALSE(readAdLoadTracker());
}

}  // namespace
}  // namespace tilo::test
