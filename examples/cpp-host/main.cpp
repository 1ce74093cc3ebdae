// A C++17 host of the installed SDK: interstitial, rewarded and app-open ads one after the
// other, then a banner at the bottom of its window, a native ad in its own asset views, a
// line banner at the top and a light popup, revenue and rewards printed, the lifecycle
// reported before it quits. Exits 0 when every ad was dismissed or loaded (the native ad
// and the line banner also counted their impression, the rewarded ad paid), 1 otherwise.
//
// Bundle, container and backend come from TILO_BUNDLE_DIR, TILO_APP_CONTAINER and
// TILO_API_BASE_URL.
#include <tilo/Tilo.hpp>

#include <cstdio>
#include <functional>
#include <optional>
#include <string>

namespace {

bool failed = false;

// Pumps the SDK once per frame until `done` or a failure; 10 seconds at most, after which
// it says what did not happen (`what`, when given).
template <class Done>
bool runUntil(Done done, const char* what = nullptr) {
  for (int frame = 0; frame < 600 && !done() && !failed; ++frame) {
    tilo::Ads::runMainLoopFor(1.0 / 60);
  }
  if (what && !done() && !failed) {
    std::fprintf(stderr, "cpp-host: gave up waiting for %s after 10 seconds\n", what);
  }
  return done() && !failed;
}

void report(const char* what, const tilo::Error& error) {
  std::fprintf(stderr, "%s: %s %lld %s\n", what, error.domain.c_str(),
               static_cast<long long>(error.code), error.message.c_str());
  failed = true;
}

// Says which step of a view's set-up the SDK refused.
bool setUp(const char* what, tilo_status status) {
  if (status != TILO_STATUS_OK) {
    std::fprintf(stderr, "cpp-host: %s: %s\n", what, tilo_status_name(status));
  }
  return status == TILO_STATUS_OK;
}

// Loads a view already in the window and waits for its load and its impression.
template <class View>
bool showView(View& view, const char* kind, const std::function<tilo_status(View&)>& load) {
  bool loaded = false, impressed = false;
  typename View::Delegate delegate;
  delegate.didLoad = [&](const std::optional<tilo::AdInfo>&) { loaded = true; };
  delegate.didFailWithError = [kind](const tilo::Error& error) { report(kind, error); };
  delegate.didRecordImpression = [&, kind](const std::optional<tilo::AdInfo>& info) {
    std::printf("%s impression from %s\n", kind,
                info && info->adNetwork ? info->adNetwork->c_str() : "-");
    impressed = true;
  };
  view.setDelegate(delegate);
  const std::string loading = std::string(kind) + " load",
                    counting = std::string(kind) + " impression";
  bool ok = setUp(loading.c_str(), load(view)) && runUntil([&] { return loaded; }, loading.c_str());
  std::printf("%s %s\n", kind, loaded ? "loaded" : "not loaded");
  ok = ok && runUntil([&] { return impressed; }, counting.c_str());
  return ok;
}

// The delegate entries every kind shares; `loaded`, `shown` and `dismissed` mark the steps.
// A shown ad stays until the player taps its close button, 34 points in from the safe
// area's right edge and 22 below its top (this window has no insets).
template <class Ad>
bool play(Ad& ad, tilo::Window& window, const char* kind, const std::function<void(Ad&)>& show,
          tilo::FullScreenAdDelegate delegate = {}) {
  bool loaded = false, shown = false, dismissed = false;
  delegate.didLoad = [&](const std::optional<tilo::AdInfo>& info) {
    std::printf("%s loaded from %s\n", kind,
                info && info->adNetwork ? info->adNetwork->c_str() : "-");
    loaded = true;
  };
  delegate.didFailToLoad = [kind](const tilo::Error& error) { report(kind, error); };
  delegate.didFailToShow = [kind](const std::optional<tilo::AdInfo>&, const tilo::Error& error) {
    report(kind, error);
  };
  delegate.didShow = [&](const std::optional<tilo::AdInfo>&) { shown = true; };
  delegate.didDismiss = [&](const std::optional<tilo::AdInfo>&) { dismissed = true; };
  delegate.didPay = [kind](const std::optional<tilo::AdInfo>&, const tilo::Revenue& revenue) {
    std::printf("%s paid %s %s\n", kind, revenue.value.c_str(), revenue.currencyCode.c_str());
  };
  ad.setDelegate(delegate);
  ad.load();
  if (!runUntil([&] { return loaded; })) return false;
  show(ad);
  const bool ok = runUntil([&] { return shown; }) && window.tap(390 - 34, 22) == 1 &&
                  runUntil([&] { return dismissed; });
  std::printf("%s %s\n", kind, ok ? "dismissed" : "not dismissed");
  return ok;
}

}  // namespace

int main() {
  std::printf("Tilo %s\n", tilo::Ads::version());
  tilo::Ads::setLogLevel(tilo::LogLevel::error);
  tilo::Ads::setHasUserConsent(true);
  tilo::Window window(390, 844, 3);

  bool initialized = false;
  tilo::Ads::initialize([&](std::optional<tilo::Error> error) {
    if (error) report("init", *error);
    initialized = true;
  });
  bool ok = runUntil([&] { return initialized; });

  tilo::InterstitialAd interstitial("interstitial-main");
  ok = ok && play<tilo::InterstitialAd>(interstitial, window, "interstitial",
                                        [&](auto& ad) { ad.showFrom(&window); });

  tilo::RewardedAd rewarded("rewarded-main");
  std::optional<tilo::RewardedItem> reward;
  tilo::FullScreenAdDelegate rewardedDelegate;
  rewardedDelegate.didEarnReward = [&](const std::optional<tilo::AdInfo>&,
                                       const tilo::RewardedItem& item) { reward = item; };
  ok = ok &&
       play<tilo::RewardedAd>(
           rewarded, window, "rewarded", [&](auto& ad) { ad.showFrom(&window); }, rewardedDelegate);
  ok = ok && reward.has_value();
  if (reward)
    std::printf("rewarded earned %lld %s\n", static_cast<long long>(reward->amount),
                reward->rewardType.c_str());

  tilo::AppOpenAd appOpen("app-open-main");
  ok = ok && play<tilo::AppOpenAd>(appOpen, window, "app open", [](auto& ad) { ad.show(); });

  // A banner pinned above the bottom safe area, loaded when the game asks.
  tilo::BannerView banner("banner-main", tilo::BannerSize::banner, /*autoLoad=*/false);
  bool bannerLoaded = false;
  tilo::BannerView::Delegate bannerDelegate;
  bannerDelegate.didLoad = [&](const std::optional<tilo::AdInfo>&) { bannerLoaded = true; };
  bannerDelegate.didFailWithError = [](const tilo::Error& error) { report("banner", error); };
  banner.setDelegate(bannerDelegate);
  ok = ok && tilo::addViewPinned(window, banner, tilo::WindowEdge::bottom, 50) == TILO_STATUS_OK;
  banner.loadAd();
  ok = ok && runUntil([&] { return bannerLoaded; });
  std::printf("banner %s\n", bannerLoaded ? "loaded" : "not loaded");

  // A native ad near the top of the window, in asset views the game lays out.
  tilo::NativeView native("native-main", /*autoLoad=*/false);
  tilo::NativeAssetLayout layout;
  layout.icon = tilo_rect{12, 12, 48, 48};
  layout.title = tilo_rect{72, 12, 210, 20};
  layout.body = tilo_rect{72, 36, 210, 40};
  layout.callToAction = tilo_rect{294, 24, 84, 32};
  ok = ok && setUp("native asset views", native.bindNativeViews(layout)) &&
       setUp("native placement", tilo::addView(window, native, tilo_rect{0, 47, 390, 120}));
  ok = ok && showView<tilo::NativeView>(native, "native", [](auto& v) { return v.loadNativeAd(); });
  ok = ok && setUp("native removal", tilo::removeView(window, native));

  // A line banner 40 points high at the top of the window, in the game's colours.
  tilo::LineBannerView line("line-banner-main", /*autoLoad=*/false);
  ok = ok && setUp("line banner colours", line.setLineBackgroundColor(0x1C1C1EFFu)) &&
       setUp("line banner colours", line.setTitleTextColor(0xF2F2F7FFu)) &&
       setUp("line banner colours", line.setCtaBackgroundColor(0x0A84FFFFu)) &&
       setUp("line banner placement", tilo::addViewPinned(window, line, tilo::WindowEdge::top, 40));
  ok =
      ok && showView<tilo::LineBannerView>(line, "line banner", [](auto& v) { return v.loadAd(); });

  // A light popup: it closes by itself 6 seconds after it appeared.
  tilo::LightPopupAdLoader popupLoader("native-main");
  std::optional<tilo::LightPopupAd> popup;
  bool popupDismissed = false;
  tilo::LightPopupAdLoader::Delegate loaderDelegate;
  loaderDelegate.didLoad = [&](tilo::LightPopupAd ad, const std::optional<tilo::AdInfo>&) {
    popup.emplace(std::move(ad));
  };
  loaderDelegate.didFailWithError = [](const tilo::Error& error) { report("popup", error); };
  popupLoader.setDelegate(loaderDelegate);
  popupLoader.loadAd();
  ok = ok && runUntil([&] { return popup.has_value(); });
  if (popup) {
    tilo::LightPopupAd::Delegate popupDelegate;
    popupDelegate.didDismiss = [&](const std::optional<tilo::AdInfo>&) { popupDismissed = true; };
    popup->setDelegate(popupDelegate);
    popup->showFrom(window);
    ok = ok && runUntil([&] { return popupDismissed; });
    std::printf("light popup %s\n", popupDismissed ? "dismissed" : "not dismissed");
  }

  tilo::Ads::setApplicationState(tilo::ApplicationState::background);
  tilo::Ads::runMainLoopFor(0.2);
  std::printf("%s\n", ok ? "cpp-host: every ad shown" : "cpp-host: failed");
  return ok ? 0 : 1;
}
