// Native views in a window on mock time: binding, filling and hiding assets, callbacks
// with their ad infos, media re-binding and the loader's one waiting load.
#include <set>

#include "Tilo/hostdrawn/TiloHostDrawnNativeAdLoader.h"
#include "Tilo/views/TiloAdNativeLoader.h"
#include "Tilo/views/TiloAdNativeView.h"
#include "ads/MarkerWatch.h"
#include "platform/ui/NSLayoutConstraint.h"
#include "views/ViewsTestSupport.h"

namespace tilo::test {
namespace {

using Strings = std::vector<std::string>;

using platform::UIButton;
using platform::UIImageView;
using platform::UILabel;
using platform::UIView;

// A host asset view that reports when the SDK hides, shows or adds into it: it does so
// only while binding and rendering.
template <class Base>
class TouchProbe : public Base {
 public:
  using Base::Base;
  void setHidden(bool hidden) override {
    Base::setHidden(hidden);
    if (touched) touched();
  }
  void didAddSubview(UIView* subview) override {
    Base::didAddSubview(subview);
    if (touched) touched();
  }
  std::function<void()> touched;
};

class NativeViewTest : public ViewsTest {
 protected:
  void place(bool bind = true, bool load = true, bool autoLoad = true) {
    native = TiloAdNativeView::create(TiloAdUnit{"native-unit"}, autoLoad);
    record(*native->listener());
    title = UILabel::create({10, 10, 300, 20});
    advertiser = UILabel::create({10, 35, 300, 20});
    body = UILabel::create({10, 60, 300, 40});
    auto noteMarker = [this] { nativeMarkers.push_back(marker(CrashMarkerCheckpoint::nativeAd)); };
    auto iconProbe = platform::makeView<TouchProbe<UIImageView>>();
    iconProbe->touched = noteMarker;
    icon = iconProbe;
    icon->setFrame({310, 10, 40, 40});
    auto mediaProbe = platform::makeView<TouchProbe<UIView>>(platform::CGRect{10, 110, 340, 180});
    mediaProbe->touched = noteMarker;
    media = mediaProbe;
    cta = UIButton::create();
    cta->setFrame({10, 300, 340, 44});
    for (const auto& view :
         std::initializer_list<std::shared_ptr<UIView>>{title, advertiser, body, icon, media, cta})
      native->addSubview(view);
    if (bind) native->bindViews(title, advertiser, body, icon, media, cta);
    window->addSubview(native);
    native->setFrame({15, 100, 360, 360});
    native->setTranslatesAutoresizingMaskIntoConstraints(true);
    window->layoutIfNeeded();
    // Before the loader exists: the request waits for it.
    if (load) native->loadAd();
  }
  void release() {
    native->removeFromSuperview();
    native.reset();
  }

  std::shared_ptr<TiloAdNativeView> native;
  std::shared_ptr<UILabel> title, advertiser, body;
  std::shared_ptr<UIImageView> icon;
  std::shared_ptr<UIView> media;
  std::shared_ptr<UIButton> cta;
  // The native-ad marker each time the SDK touched the icon or media view.
  Strings nativeMarkers;
};

TEST_F(NativeViewTest, BindsFillsAndHidesAssetsInsideMarkersAndTracksItsLoads) {
  script("gad/native", R"({"delayMs": 100, "click": true, "network": "Meta", "latencies": [0.2],
      "native": {"headline": "Title", "body": "Body", "callToAction": "Install",
                 "icon": true, "media": true}})");
  MarkerWatch watch;
  place();
  // 1. Binding runs inside the native-ad marker, which names no unit or network.
  EXPECT_EQ(nativeMarkers, Strings{"bindViews - -"});
  EXPECT_EQ(marker(CrashMarkerCheckpoint::nativeAd), "none");
  // 2. Resolving the unit opens and closes its entry; the waiting load then records
  //    "start" and "load" and stays open while the platform answers.
  settle();
  const std::string file = kAdLoadTrackerFileName;
  EXPECT_EQ(watch.take(file),
            (Strings{"+" + file, "+" + file, "+" + file, "-" + file, "+" + file, "+" + file}));
  EXPECT_EQ(tracked("native-unit").value_or(AdLoadTracker::LoadInfo{}).currentPhase, "load");
  // 3. The answer closes it. Rendering touches the asset views only inside the native-ad
  //    marker with unit and network; each host callback runs inside its own marker,
  //    removed once it returns.
  settle(0.1);
  sdk.env().advance(0.1);  // the platform's first look at the screen
  EXPECT_EQ(watch.take(file), Strings{"-" + file});
  EXPECT_EQ(std::set(nativeMarkers.begin(), nativeMarkers.end()),
            (std::set<std::string>{"bindViews - -", "renderAd native-unit Meta"}));
  EXPECT_EQ(marker(CrashMarkerCheckpoint::nativeAd), "none");
  EXPECT_EQ(seen, (Strings{"onAdLoadSuccess native-unit -", "onAdImpression native-unit Meta",
                           "onAdClicked native-unit Meta"}));
  EXPECT_EQ(callbackMarker(), "none");
  // 4. The media view is wrapped once, and fills the container, which keeps the frame the
  //    host gave it (bound views moved into the platform's ad view and filled: CApiTest, and
  //    its native-bound golden images).
  ASSERT_EQ(media->subviews().size(), 1u);
  EXPECT_EQ(media->frame(), (platform::CGRect{10, 110, 340, 180}));
  EXPECT_EQ(media->subviews()[0]->frame(), (platform::CGRect{0, 0, 340, 180}));
  // 5. The waiting request loaded; the missing asset is hidden, the button takes no touches.
  ASSERT_EQ(successes.size(), 1u);
  EXPECT_TRUE(advertiser->isHidden());
  EXPECT_FALSE(cta->isUserInteractionEnabled());
  auto mediaView = native->gadNativeAdView()->mediaView();
  ASSERT_TRUE(mediaView && mediaView->mediaContent());
  // 6. Success info without network; impression and click (a tap on the call to action)
  //    with it.
  EXPECT_EQ(describe(successes[0]), "native native-unit 200 -");
  ASSERT_EQ(impressions.size(), 1u);
  EXPECT_EQ(describe(impressions[0]), "native native-unit 200 Meta");
  EXPECT_EQ(logs.count("✅ 네이티브 광고 로드 성공 - 단위ID: native-unit"), 1u);
  EXPECT_EQ(logs.count("Native Ad Impression native-unit"), 1u);
  EXPECT_EQ(logs.count("Native Ad clicked native-unit"), 1u);
  EXPECT_EQ(adEvents(), (Strings{"ad_request", "ad_response", "ad_impression", "ad_click"}));
  // 7. The next ad has every asset missing: every text view hidden, the media kept.
  script("gad/native", R"({"native": {}})");
  settle(60);
  ASSERT_EQ(successes.size(), 2u);
  const auto hidden = [](const auto&... views) { return std::vector{views->isHidden()...}; };
  EXPECT_EQ(hidden(title, body, icon, cta, mediaView),
            (std::vector<bool>{true, true, true, true, false}));
  EXPECT_FALSE(mediaView->mediaContent());
  // 8. And the one after has an icon again: shown again.
  script("gad/native", R"({"native": {"icon": true, "headline": "Back"}})");
  native->loadAd();
  settle();
  EXPECT_EQ(hidden(icon, title), (std::vector<bool>{false, false}));
  // 9. Binding again replaces the media view: exactly one remains.
  native->bindViews(title, advertiser, body, icon, media, cta);
  EXPECT_EQ(media->subviews().size(), 1u);
  EXPECT_NE(media->subviews()[0], mediaView);
  // 10. A failed load is tracked and closed the same way; its marker has no ad info.
  script("gad/native",
         R"({"delayMs": 100, "result": "error", "error": {"code": 1, "description": "No"}})");
  sdk.env().advance(0.1);  // the last ad's impression
  watch.take();
  seen.clear();
  native->loadAd();
  settle();
  settle(0.1);
  EXPECT_EQ(watch.take(file), (Strings{"+" + file, "+" + file, "-" + file}));
  EXPECT_EQ(seen, Strings{"onAdLoadFail - -"});
  EXPECT_EQ(callbackMarker(), "none");
  EXPECT_EQ(logs.count("❌ 네이티브 광고 로드 실패 - 단위ID: native-unit, 에러: noFill, "), 1u);
  // 11. An ad the host draws itself shares the view's tracked load and its reports (which
  //    reach its host: CppApiTest's NativeAdDrawnByTheHost test); its own success callback
  //    runs inside the marker too.
  script("gad/native", R"({"native": {"headline": "H"}})");
  auto loader = TiloHostDrawnNativeAdLoader::create(TiloAdUnit{"native-unit"});
  seen.clear();
  loader->listener()->onAdLoadSuccess = [&](auto, auto) { seen.push_back(callbackMarker()); };
  loader->loadAd();
  settle();
  EXPECT_EQ(seen, Strings{"onAdLoadSuccess native-unit -"});
  EXPECT_EQ(callbackMarker(), "none");
}

TEST_F(NativeViewTest, OnScreenBeforeItsUnitResolvesItLoadsAndLoadAdJoinsTheLoadThatRuns) {
  script("gad/native", R"({"delayMs": 100, "native": {"headline": "H"}})");
  // 1. autoLoad, on screen before the unit resolves, and no loadAd(): it loads once.
  place(true, false);
  settle();
  settle(0.1);
  EXPECT_EQ(loadsOf("gad/native"), 1u);
  ASSERT_EQ(successes.size(), 1u);
  // 2. loadAd() twice while the refresh's load is out: they join it. One request, one
  //    success, no failure, and nothing left to retry.
  ASSERT_TRUE(sdk.drive([&] { return loadsOf("gad/native") == 2; }, 120));
  native->loadAd();
  native->loadAd();
  settle(0.1);
  EXPECT_EQ(loadsOf("gad/native"), 2u);
  EXPECT_EQ(successes.size(), 2u);
  EXPECT_TRUE(failures.empty());
  sdk.env().advance(59);
  EXPECT_EQ(loadsOf("gad/native"), 2u);
  // 3. loadAd() over and over from inside each callback: one load per callback.
  script("gad/native",
         R"({"delayMs": 100, "result": "error", "error": {"code": 1, "description": "No"}})");
  int callbacks = 0;
  auto again = [&] {
    if (++callbacks > 2) return;
    for (int i = 0; i < 3; ++i) native->loadAd();
  };
  native->listener()->onAdLoadSuccess = [&](auto, auto) { again(); };
  native->listener()->onAdLoadFail = [&](auto) {
    again();
    script("gad/native", R"({"delayMs": 100, "native": {"headline": "H"}})");
  };
  native->loadAd();
  ASSERT_TRUE(sdk.drive([&] { return callbacks == 3; }, 10));
  EXPECT_EQ(loadsOf("gad/native"), 5u);
}

TEST_F(NativeViewTest, ReleasedOrMovedAtAnyStepOfALoadLeavesNothingTracked) {
  script("gad/native", R"({"delayMs": 100, "native": {"headline": "H"}})");
  auto other = platform::UIWindow::create({390, 844}, 3);
  // 1. Released before its unit resolves, with its request out and inside its success:
  //    no other callback, and no tracker entry left.
  for (int step = 0; step < 3; ++step) {
    place();
    if (step == 1) settle();
    if (step == 2) native->listener()->onAdLoadSuccess = [&](auto, auto) { release(); };
    if (step < 2) release();
    settle();
    sdk.env().advance(1);
    ASSERT_FALSE(readAdLoadTracker()) << "released at step " << step;
  }
  EXPECT_TRUE(successes.empty());
  EXPECT_TRUE(failures.empty());
  // 2. Moved to another window before its unit resolves and again with its request out:
  //    one request and one success.
  const std::size_t loads = loadsOf("gad/native");
  place();
  other->addSubview(native);
  settle();
  window->addSubview(native);
  settle(0.1);
  EXPECT_EQ(loadsOf("gad/native"), loads + 1);
  EXPECT_EQ(successes.size(), 1u);
  EXPECT_FALSE(readAdLoadTracker());
}

TEST_F(NativeViewTest, AutoLoadOffNeitherLoadsNorRefreshesUntilLoadAd) {
  place(true, false, false);
  settle();
  // On screen with its loader: the 60 s refresh timer runs, and loads nothing.
  native->setHidden(true);
  native->setHidden(false);
  settle(200);
  EXPECT_EQ(loadsOf("gad/native"), 0u);
  // From the first loadAd() on, it refreshes a full interval after the impression.
  native->loadAd();
  settle();
  EXPECT_EQ(loadsOf("gad/native"), 1u);
  sdk.env().advance(0.1);  // the platform's first look at the screen
  settle(60);
  EXPECT_EQ(loadsOf("gad/native"), 2u);
}

// (An unreadable image file never reaches an ad: the scenario naming it is refused.)
TEST_F(NativeViewTest, WrongClassesDoNotBreakRendering) {
  script("gad/native", R"({"native": {"headline": "H"}})");
  place(false);
  sdk.env().advance(0.1);
  // A headline view that is no label and an icon view that is no image view.
  auto notALabel = UIView::create({0, 0, 10, 10});
  native->addSubview(notALabel);
  native->bindViews(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  native->gadNativeAdView()->setHeadlineView(notALabel);
  settle();
  ASSERT_EQ(successes.size(), 1u);
  EXPECT_FALSE(notALabel->isHidden());
}

TEST_F(NativeViewTest, LoaderCompletesAReplacedWaitWithAnError) {
  script("gad/native", R"({"delayMs": 100})");
  auto loader = TiloAdNativeLoader::create(
      TiloAdUnitItem{"native-unit", "gad/native", "N", "native", 60, std::nullopt});
  // "ad", or the error code.
  Strings outcomes;
  auto note = [&](Result<TiloAdNative> result) {
    outcomes.push_back(
        result ? "ad"
               : std::to_string(static_cast<int>(std::get<TiloError>(*result.error()).code())));
  };
  loader->loadAd(note);
  loader->loadAd(note);
  sdk.env().runUntilIdle();
  ASSERT_EQ(outcomes, (Strings{"-26"}));
  sdk.env().advance(0.1);
  // The second waits for an answer; the first platform answer serves it, the second
  // finds nobody waiting and is only kept.
  EXPECT_EQ(outcomes, (Strings{"-26", "ad"}));
  EXPECT_TRUE(loader->nativeAd());
  // Released while waiting: the completion never runs.
  loader->loadAd(note);
  loader.reset();
  sdk.env().advance(1);
  EXPECT_EQ(outcomes.size(), 2u);
}

}  // namespace
}  // namespace tilo::test
