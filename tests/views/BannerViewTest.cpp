// Banner and MREC views in a window on mock time: loading, callbacks, refresh, retry,
// visibility, sizes and lifetime.
#include <algorithm>
#include <functional>

#include "Tilo/views/TiloAdBannerView.h"
#include "Tilo/views/TiloAdNativeView.h"
#include "ads/MarkerWatch.h"
#include "mediation/TestCreatives.h"
#include "platform/Environment.h"
#include "platform/NotificationCenter.h"
#include "platform/Timer.h"
#include "platform/ui/ImageRenditionCache.h"
#include "platform/ui/NSLayoutConstraint.h"
#include "support/RecordingPlugin.h"
#include "views/ViewsTestSupport.h"

namespace tilo::test {
namespace {

using Strings = std::vector<std::string>;

using platform::Application;
using platform::ApplicationState;

class BannerViewTest : public ViewsTest {
 protected:
  std::shared_ptr<TiloAdBannerView> placeBanner(const std::string& unit = "banner-unit",
                                                TiloAdBannerSize size = TiloAdBannerSize::banner,
                                                bool autoLoad = true) {
    auto banner = TiloAdBannerView::create(TiloAdUnit{unit}, size, autoLoad);
    record(*banner->listener());
    window->addSubview(banner);
    platform::NSLayoutConstraint::activateConstraints(
        {banner->centerXAnchor().constraintEqualToAnchor(window->centerXAnchor()),
         banner->bottomAnchor().constraintEqualToAnchor(
             window->safeAreaLayoutGuide()->bottomAnchor())});
    // Laid out before the unit resolves, as a host's first frame would be.
    window->layoutIfNeeded();
    return banner;
  }
};

TEST_F(BannerViewTest, LoadsShowsAndRefreshesAFullIntervalAfterEachImpression) {
  script("gad/banner", R"({"delayMs": 100, "click": true, "latencies": [0.05, 0.1],)"
                       R"("revenue":{"value":"0.002","currency":"USD","precision":1}})");
  MarkerWatch watch;
  auto plugin = RecordingPlugin::forAppKey(sdk.options().appKey);
  auto banner = placeBanner();
  banner->registerPlugin(plugin);
  settle();
  // 1. One request from loader configuration; nothing answered before the delay.
  //    Resolving the unit opened and closed its entry ("start", "sync", "loader_init");
  //    that first request is not tracked.
  EXPECT_EQ(loadsOf("gad/banner"), 1u);
  EXPECT_TRUE(successes.empty());
  const std::string file = kAdLoadTrackerFileName;
  EXPECT_EQ(watch.take(file), (Strings{"+" + file, "+" + file, "+" + file, "-" + file}));
  EXPECT_FALSE(tracked("banner-unit"));
  settle(0.1);
  ASSERT_EQ(successes.size(), 1u);
  EXPECT_EQ(describe(successes[0]), "banner banner-unit 150 AdMob");
  EXPECT_EQ(logs.count("✅ 배너 광고 로드 성공 - 단위ID: banner-unit"), 1u);
  // 2. The banner is on screen: impression, then the scripted click through the window,
  //    each callback inside its own marker (the impression's without ad info), and the
  //    marker gone once the host has returned.
  EXPECT_EQ(seen, (Strings{"onAdLoadSuccess banner-unit AdMob", "onAdImpression - -",
                           "onAdClicked banner-unit AdMob"}));
  EXPECT_EQ(callbackMarker(), "none");
  EXPECT_EQ(logs.count("Banner Ad Impression banner-unit"), 1u);
  EXPECT_EQ(logs.count("Banner Ad clicked banner-unit"), 1u);
  EXPECT_EQ(adEvents(), (Strings{"ad_request", "ad_response", "ad_impression", "ad_click"}));
  // The paid event reaches the view's plugin, net of the backend's fee.
  ASSERT_EQ(plugin->events.size(), 1u);
  EXPECT_EQ(plugin->opened(0)["adInfo"]["adUnitId"], "banner-unit");
  EXPECT_EQ(plugin->opened(0)["revenueInfo"]["value"], "0.0017");
  // 3. Laid out at its size, above the bottom safe area.
  EXPECT_EQ(banner->frame(), (platform::CGRect{35, 844 - 34 - 50, 320, 50}));
  // 4. The next load comes 30 s after the impression, not a moment before, and goes to
  //    the platform untracked.
  sdk.env().advance(29.9);
  EXPECT_EQ(loadsOf("gad/banner"), 1u);
  sdk.env().advance(0.1);
  EXPECT_EQ(loadsOf("gad/banner"), 2u);
  settle(0.1);
  EXPECT_EQ(successes.size(), 2u);
  EXPECT_EQ(impressions.size(), 2u);
  EXPECT_TRUE(watch.take(file).empty());
  // 5. loadAd() records "start", then "load" at the time of the request, and the answer
  //    closes the entry; a failure calls the host inside its marker, without ad info.
  script("gad/banner", R"({"delayMs": 100, "result": "error"})");
  seen.clear();
  const double requested = platform::now();
  banner->loadAd();
  EXPECT_EQ(watch.take(file), Strings(2, "+" + file));
  auto entry = tracked("banner-unit");
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->currentPhase, "load");
  EXPECT_EQ(entry->lastUpdate, requested);
  settle(0.1);
  EXPECT_EQ(seen, Strings{"onAdLoadFail - -"});
  EXPECT_EQ(callbackMarker(), "none");
  EXPECT_EQ(watch.take(file), Strings{"-" + file});
  // A success closes it too.
  script("gad/banner", R"({"delayMs": 100})");
  banner->loadAd();
  settle(0.1);
  EXPECT_EQ(watch.take(file), (Strings{"+" + file, "+" + file, "-" + file}));
  // The refresh timer's pauses (background, off screen) are the coordinator's own; the
  // Amazon extras of each request are checked on the MREC below.
}

TEST_F(BannerViewTest, FailuresRetryOnlyWhileVisibleAndReachTheHost) {
  script("gad/banner", R"({"result": "error", "error": {"code": 1, "description": "No fill."}})");
  auto banner = placeBanner();
  settle();
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].code(), TiloError::Code::noFill);
  EXPECT_EQ(logs.count("❌ 배너 광고 로드 실패 - 단위ID: banner-unit, 에러: noFill, "), 1u);
  EXPECT_EQ(adEvents(), (Strings{"ad_request", "ad_response_error"}));
  // Hidden, the view's failures schedule no retry; shown again with the state synced, it
  // loads at once (the backoff and its conditions: AdLoadStateTest).
  sdk.env().advance(1);
  banner->setHidden(true);
  sdk.env().advance(600);
  EXPECT_EQ(loadsOf("gad/banner"), 2u);
  banner->setHidden(false);
  EXPECT_EQ(loadsOf("gad/banner"), 3u);
}

TEST_F(BannerViewTest, LoadAdInsideTheSuccessCallbackLoadsAgain) {
  // Loading on request only, so that the first load is the state manager's too.
  auto mrec = placeBanner("mrec-unit", TiloAdBannerSize::MREC, false);
  int loaded = 0;
  mrec->listener()->onAdLoadSuccess = [&loaded, view = mrec.get()](auto, auto) {
    if (++loaded == 1) view->loadAd();
  };
  mrec->loadAd();
  settle();
  EXPECT_EQ(loaded, 2);
  EXPECT_EQ(loadsOf("gad/mrec"), 2u);
}

TEST_F(BannerViewTest, UnresolvableUnitsReachTheHostAndRetryTheLoadersCreation) {
  // Neither unit is in the app info: each try asks the backend again, then fails.
  auto banner =
      TiloAdBannerView::create(TiloAdUnit{"ghost-banner"}, TiloAdBannerSize::banner, true);
  record(*banner->listener());
  auto native = TiloAdNativeView::create(TiloAdUnit{"ghost-native"}, true);
  std::vector<TiloError> nativeFailures;
  native->listener()->onAdLoadFail = [&](const TiloError& e) { nativeFailures.push_back(e); };
  window->addSubview(banner);
  window->addSubview(native);
  // Each failure reaches the host, and the state manager's retry tries again.
  ASSERT_TRUE(sdk.drive([&] { return failures.size() >= 2 && nativeFailures.size() >= 2; }));
  for (const auto& error : {failures[0], nativeFailures[0]}) {
    EXPECT_EQ(error.code(), TiloError::Code::initializationFailed);
    EXPECT_EQ(error.message(), "No ad unit found");
  }
  EXPECT_FALSE(tracked("ghost-banner"));
}

TEST_F(BannerViewTest, AutoLoadOffWaitsForLoadAdAndZeroIntervalMeansNoRefresh) {
  // 1. autoLoad false: configuration, visibility and time load nothing.
  auto banner = placeBanner("banner-unit", TiloAdBannerSize::banner, false);
  settle();
  banner->setHidden(true);
  banner->setHidden(false);
  sdk.env().advance(100);
  EXPECT_EQ(loadsOf("gad/banner"), 0u);
  // 2. loadAd() loads, and from then on refresh works.
  banner->loadAd();
  settle();
  EXPECT_EQ(loadsOf("gad/banner"), 1u);
  sdk.env().advance(30);
  EXPECT_EQ(loadsOf("gad/banner"), 2u);
  // 3. refreshInterval 0: never refreshed.
  auto mrec = placeBanner("mrec-unit", TiloAdBannerSize::MREC);
  settle();
  sdk.env().advance(600);
  EXPECT_EQ(loadsOf("gad/mrec"), 1u);
}

TEST_F(BannerViewTest, FormatFollowsTheLoadedHeightAndTheSizeHolds) {
  // 1. An MREC that loaded a 300 × 250 ad reports mrec; one that loaded 320 × 50, banner.
  script("gad/mrec", R"({"adSize": [300, 250]})");
  auto mrec = placeBanner("mrec-unit", TiloAdBannerSize::MREC);
  settle();
  ASSERT_EQ(successes.size(), 1u);
  EXPECT_EQ(successes[0].adFormat, TiloAdFormat::mrec);
  EXPECT_EQ(mrec->bounds().size, (platform::CGSize{300, 250}));
  script("gad/mrec", R"({"adSize": [320, 50]})");
  mrec->loadAd();
  settle();
  ASSERT_EQ(successes.size(), 2u);
  EXPECT_EQ(successes[1].adFormat, TiloAdFormat::banner);
  // The MREC asks Amazon for its own slot at its own size, whatever it then loaded.
  std::size_t mrecLoads = 0;
  for (const auto& record : mediation::AdSource::shared().loadRecords()) {
    if (record.adUnitId != "gad/mrec") continue;
    ++mrecLoads;
    ASSERT_EQ(record.extras.size(), 1u);
    EXPECT_TRUE(record.extras[0].ends_with(" slotUUID=slot-mrec-1 width=300 height=250"))
        << record.extras[0];
  }
  EXPECT_EQ(mrecLoads, 2u);
  // 2. A host forcing another size loses one constraint; the banner stays 320 × 50.
  auto banner = placeBanner();
  settle();
  platform::NSLayoutConstraint::activateConstraints(
      {banner->widthAnchor().constraintEqualToConstant(200)});
  window->layoutIfNeeded();
  EXPECT_EQ(window->droppedConstraints().size(), 1u);
  ASSERT_EQ(banner->subviews().size(), 1u);
  EXPECT_EQ(banner->subviews()[0]->bounds().size, (platform::CGSize{320, 50}));
  // 3. A second configuration would not embed twice.
  EXPECT_EQ(banner->constraints().size(), mrec->constraints().size() + 1);
}

TEST_F(BannerViewTest, OneRequestPerShownAdAndAHiddenAncestorPausesTheRefresh) {
  script("gad/banner", R"({"delayMs": 100})");
  // 1. Resolved before it is shown: showing it joins the automatic request still out.
  auto banner = TiloAdBannerView::create(TiloAdUnit{"banner-unit"}, TiloAdBannerSize::banner, true);
  record(*banner->listener());
  settle();
  ASSERT_EQ(loadsOf("gad/banner"), 1u);
  auto parent = platform::UIView::create({0, 100, 390, 50});
  parent->setAlpha(0);  // on screen inside a transparent parent: not seen yet
  window->addSubview(parent);
  parent->addSubview(banner);
  settle();
  settle(0.1);
  EXPECT_EQ(loadsOf("gad/banner"), 1u);
  EXPECT_EQ(successes.size(), 1u);
  EXPECT_TRUE(impressions.empty());
  parent->setAlpha(1);
  settle(0.1);
  ASSERT_EQ(impressions.size(), 1u);
  // 2. Hiding its parent, or making it transparent, keeps the due refresh from loading.
  parent->setHidden(true);
  sdk.env().advance(100);
  parent->setHidden(false);
  parent->setAlpha(0);
  sdk.env().advance(100);
  EXPECT_EQ(loadsOf("gad/banner"), 1u);
  // 3. Shown again (it is looked at every second): a refresh a full interval later.
  script("gad/banner", R"({"delayMs": 100000})");
  parent->setAlpha(1);
  sdk.env().advance(29.9);
  EXPECT_EQ(loadsOf("gad/banner"), 1u);
  sdk.env().advance(AdRefreshCoordinator::kVisibilityCheckInterval + 0.1);
  EXPECT_EQ(loadsOf("gad/banner"), 2u);
  // 4. A refresh falling due while that slow request is out (the timer restarts when the
  //    app comes back) sends no second one.
  Application::shared().setState(ApplicationState::background);
  Application::shared().setState(ApplicationState::active);
  sdk.env().advance(40);
  EXPECT_EQ(loadsOf("gad/banner"), 2u);
}

TEST_F(BannerViewTest, ReleasedViewsLeaveNothingBehind) {
  script("gad/banner", R"({"delayMs": 500})");
  // The process-wide picture caches subscribe to the release notifications once, when first
  // used; made before the counts, they are not taken for something a view left behind.
  (void)platform::ImageRenditionCache::shared();
  (void)mediation::TestCreatives::bannerPicture(320, 50);
  const long timers = platform::Timer::liveCount();
  auto& center = platform::NotificationCenter::defaultCenter();
  const auto active = center.observerCount(platform::kDidBecomeActiveNotification);
  const auto background = center.observerCount(platform::kDidEnterBackgroundNotification);
  int callbacks = 0;
  // What each view made: all of it must be gone with the views.
  std::vector<std::weak_ptr<void>> parts;
  auto track = [&](const std::shared_ptr<TiloAdBannerView>& banner) {
    parts.push_back(banner->coordinator());
    parts.push_back(banner->adStateManager());
    parts.push_back(banner->adStateManager()->retryManager());
    if (banner->loader()) parts.push_back(banner->loader()->gadBannerView());
  };
  {
    std::vector<std::shared_ptr<TiloAdBannerView>> banners;
    for (int i = 0; i < 1000; ++i) {
      auto banner =
          TiloAdBannerView::create(TiloAdUnit{"banner-unit"}, TiloAdBannerSize::banner, true);
      banner->listener()->onAdLoadSuccess = [&](auto, auto) { ++callbacks; };
      banner->listener()->onAdLoadFail = [&](auto) { ++callbacks; };
      window->addSubview(banner);
      banners.push_back(banner);
    }
    window->layoutIfNeeded();
    // Half are released while resolving the unit, half with their loads in flight.
    for (int i = 0; i < 500; ++i) {
      banners[i]->removeFromSuperview();
      banners[i].reset();
    }
    settle();
    EXPECT_EQ(loadsOf("gad/banner"), 500u);
    for (auto& banner : banners) {
      if (!banner) continue;
      track(banner);
      banner->removeFromSuperview();
    }
  }
  // One released during a retry wait, one during a refresh wait, and one with its
  // explicit, tracked load out (its entry is closed).
  const struct {
    const char* scenario;
    bool autoLoad;
    std::function<bool(TiloAdBannerView&)> waiting;
  } late[] = {
      {R"({"result": "error"})", true,
       [](auto& b) { return !!b.adStateManager()->retryManager()->retryTimer(); }},
      {R"({"result": "fill"})", true, [](auto& b) { return !!b.coordinator()->timer(); }},
      {R"({"delayMs": 500})", false, [](auto&) { return tracked("banner-unit").has_value(); }},
  };
  for (const auto& row : late) {
    script("gad/banner", row.scenario);
    auto banner = placeBanner("banner-unit", TiloAdBannerSize::banner, row.autoLoad);
    if (!row.autoLoad) banner->loadAd();
    settle();
    ASSERT_TRUE(row.waiting(*banner)) << row.scenario;
    track(banner);
    banner->removeFromSuperview();
  }
  EXPECT_FALSE(readAdLoadTracker());
  const std::size_t loads = loadsOf("gad/banner");

  EXPECT_EQ(parts.size(), 500u * 4 + 4 + 4 + 4);
  EXPECT_TRUE(std::all_of(parts.begin(), parts.end(), [](auto& p) { return p.expired(); }));
  // The event logger's flush timer may have started meanwhile; nothing else may remain.
  EXPECT_LE(platform::Timer::liveCount(), timers + 1);
  EXPECT_EQ(center.observerCount(platform::kDidBecomeActiveNotification), active);
  EXPECT_EQ(center.observerCount(platform::kDidEnterBackgroundNotification), background);
  sdk.env().advance(3600);
  EXPECT_EQ(callbacks, 0);
  EXPECT_EQ(loadsOf("gad/banner"), loads);
}

}  // namespace
}  // namespace tilo::test
