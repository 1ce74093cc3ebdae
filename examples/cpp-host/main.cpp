// A C++17 host of the installed SDK, built as game engines build (-fno-exceptions
// -fno-rtti): interstitial, rewarded and app-open ads one after the other, then a banner
// at the bottom of its window, a native ad in its own asset views, a line banner at the
// top, a light popup and a native ad it draws itself, revenue and rewards printed, the lifecycle
// reported before it quits. Every object is made by its create() factory and moved into the game's
// state, callbacks and all; every status is checked. Exits 0 when every ad was dismissed or loaded
// (the native ad and the line banner also counted their impression, the rewarded ad paid), 1
// otherwise.
//
// Bundle, container and backend come from TILO_BUNDLE_DIR, TILO_APP_CONTAINER and
// TILO_API_BASE_URL.
#include <tilo/Tilo.hpp>

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace {

bool failed = false;

// The game's state: empty objects until the factories fill them.
struct Game {
  tilo::Window window;
  tilo::InterstitialAd interstitial;
  tilo::RewardedAd rewarded;
  tilo::AppOpenAd appOpen;
  tilo::BannerView banner;
  tilo::NativeView native;
  tilo::LineBannerView line;
  tilo::LightPopupAdLoader popupLoader;
  tilo::LightPopupAd popup;
  tilo::NativeAdLoader ownNativeLoader;
  tilo::NativeAd ownNative;
};

// Says which step the SDK refused.
bool check(const char* what, tilo_status status) {
  if (status != TILO_STATUS_OK) {
    std::fprintf(stderr, "cpp-host: %s: %s\n", what, tilo_status_name(status));
    failed = true;
  }
  return status == TILO_STATUS_OK;
}

// Moves what a factory made into `slot`, or says why it was refused.
template <class T>
bool take(const char* what, tilo::Expected<T> made, T& slot) {
  if (!made) {
    std::fprintf(stderr, "cpp-host: %s: %s\n", what, made.message().c_str());
    failed = true;
    return false;
  }
  slot = std::move(made).value();
  return true;
}

// Pumps the SDK once per frame until `done` or a failure; 10 seconds at most, after which
// it says what did not happen (`what`, when given).
template <class Done>
bool runUntil(Done done, const char* what = nullptr) {
  for (int frame = 0; frame < 600 && !done() && !failed; ++frame) {
    if (!check("pump", tilo::Ads::runMainLoopFor(1.0 / 60))) return false;
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
  bool ok = check(loading.c_str(), load(view)) && runUntil([&] { return loaded; }, loading.c_str());
  std::printf("%s %s\n", kind, loaded ? "loaded" : "not loaded");
  ok = ok && runUntil([&] { return impressed; }, counting.c_str());
  return ok;
}

// Makes an ad of kind `Ad`, gives it the delegate entries every kind shares (`loaded`,
// `shown` and `dismissed` mark the steps), moves it into `slot`, and plays it there. A shown
// ad stays until the player taps its close button, 34 points in from the safe area's right
// edge and 22 below its top (this window has no insets).
template <class Ad>
bool play(Ad& slot, tilo::Window& window, const char* kind, const char* unit,
          const std::function<tilo_status(Ad&)>& show, tilo::FullScreenAdDelegate delegate = {}) {
  Ad ad;
  if (!take(kind, Ad::create(unit), ad)) return false;
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
  if (!check(kind, ad.load())) return false;
  slot = std::move(ad);  // loading already: its callbacks go with it
  if (!runUntil([&] { return loaded; })) return false;
  if (!check(kind, show(slot))) return false;
  const bool ok = runUntil([&] { return shown; }) && window.tap(390 - 34, 22) == 1 &&
                  runUntil([&] { return dismissed; });
  std::printf("%s %s\n", kind, ok ? "dismissed" : "not dismissed");
  return ok;
}

}  // namespace

int main() {
  std::printf("Tilo %s\n", tilo::Ads::version());
  Game game;
  bool ok = check("log level", tilo::Ads::setLogLevel(tilo::LogLevel::error)) &&
            check("consent", tilo::Ads::setHasUserConsent(true)) &&
            take("window", tilo::Window::create(390, 844, 3), game.window);

  bool initialized = false;
  ok = ok && check("initialize", tilo::Ads::initialize([&](std::optional<tilo::Error> error) {
                     if (error) report("init", *error);
                     initialized = true;
                   }));
  ok = ok && runUntil([&] { return initialized; });

  ok = ok && play<tilo::InterstitialAd>(game.interstitial, game.window, "interstitial",
                                        "interstitial-main",
                                        [&](auto& ad) { return ad.showFrom(&game.window); });

  std::optional<tilo::RewardedItem> reward;
  tilo::FullScreenAdDelegate rewardedDelegate;
  rewardedDelegate.didEarnReward = [&](const std::optional<tilo::AdInfo>&,
                                       const tilo::RewardedItem& item) { reward = item; };
  ok = ok && play<tilo::RewardedAd>(
                 game.rewarded, game.window, "rewarded", "rewarded-main",
                 [&](auto& ad) { return ad.showFrom(&game.window); }, rewardedDelegate);
  ok = ok && reward.has_value();
  if (reward)
    std::printf("rewarded earned %lld %s\n", static_cast<long long>(reward->amount),
                reward->rewardType.c_str());

  ok = ok && play<tilo::AppOpenAd>(game.appOpen, game.window, "app open", "app-open-main",
                                   [](auto& ad) { return ad.show(); });

  // A banner pinned above the bottom safe area, loaded when the game asks.
  bool bannerLoaded = false;
  if (ok && take("banner", tilo::BannerView::create("banner-main", tilo::BannerSize::banner),
                 game.banner)) {
    tilo::BannerView::Delegate bannerDelegate;
    bannerDelegate.didLoad = [&](const std::optional<tilo::AdInfo>&) { bannerLoaded = true; };
    bannerDelegate.didFailWithError = [](const tilo::Error& error) { report("banner", error); };
    game.banner.setDelegate(bannerDelegate);
    ok = check("banner placement",
               tilo::addViewPinned(game.window, game.banner, tilo::WindowEdge::bottom, 50)) &&
         check("banner load", game.banner.loadAd()) && runUntil([&] { return bannerLoaded; });
    std::printf("banner %s\n", bannerLoaded ? "loaded" : "not loaded");
  }

  // A native ad near the top of the window, in asset views the game lays out.
  tilo::NativeAssetLayout layout;
  layout.icon = tilo_rect{12, 12, 48, 48};
  layout.title = tilo_rect{72, 12, 210, 20};
  layout.body = tilo_rect{72, 36, 210, 40};
  layout.callToAction = tilo_rect{294, 24, 84, 32};
  ok = ok && take("native", tilo::NativeView::create("native-main"), game.native) &&
       check("native asset views", game.native.bindNativeViews(layout)) &&
       check("native placement",
             tilo::addView(game.window, game.native, tilo_rect{0, 47, 390, 120}));
  ok = ok &&
       showView<tilo::NativeView>(game.native, "native", [](auto& v) { return v.loadNativeAd(); });
  ok = ok && check("native removal", tilo::removeView(game.window, game.native));

  // A line banner 40 points high at the top of the window, in the game's colours.
  ok = ok && take("line banner", tilo::LineBannerView::create("line-banner-main"), game.line) &&
       check("line banner colours", game.line.setLineBackgroundColor(0x1C1C1EFFu)) &&
       check("line banner colours", game.line.setTitleTextColor(0xF2F2F7FFu)) &&
       check("line banner colours", game.line.setCtaBackgroundColor(0x0A84FFFFu)) &&
       check("line banner placement",
             tilo::addViewPinned(game.window, game.line, tilo::WindowEdge::top, 40));
  ok = ok &&
       showView<tilo::LineBannerView>(game.line, "line banner", [](auto& v) { return v.loadAd(); });

  // A light popup: didLoad hands it over, and the game keeps it by moving it into its
  // state (dropped, it would close at once). It closes by itself 6 seconds after it
  // appeared.
  bool popupLoaded = false, popupDismissed = false;
  if (ok &&
      take("popup loader", tilo::LightPopupAdLoader::create("native-main"), game.popupLoader)) {
    tilo::LightPopupAdLoader::Delegate loaderDelegate;
    loaderDelegate.didLoad = [&](tilo::LightPopupAd ad, const std::optional<tilo::AdInfo>&) {
      game.popup = std::move(ad);
      popupLoaded = true;
    };
    loaderDelegate.didFailWithError = [](const tilo::Error& error) { report("popup", error); };
    game.popupLoader.setDelegate(loaderDelegate);
    ok = check("popup load", game.popupLoader.loadAd()) && runUntil([&] { return popupLoaded; });
  }
  if (ok) {
    tilo::LightPopupAd::Delegate popupDelegate;
    popupDelegate.didDismiss = [&](const std::optional<tilo::AdInfo>&) { popupDismissed = true; };
    game.popup.setDelegate(popupDelegate);
    ok = check("popup show", game.popup.showFrom(game.window)) &&
         runUntil([&] { return popupDismissed; });
    std::printf("light popup %s\n", popupDismissed ? "dismissed" : "not dismissed");
  }

  // A native ad the game draws with its own renderer from the ad's texts and icon; it
  // tells the SDK once the ad is on screen.
  bool ownLoaded = false, ownImpressed = false;
  if (ok && take("own native loader", tilo::NativeAdLoader::create("native-main"),
                 game.ownNativeLoader)) {
    tilo::NativeAdLoader::Delegate loaderDelegate;
    loaderDelegate.didLoad = [&](tilo::NativeAd ad, const std::optional<tilo::AdInfo>&) {
      game.ownNative = std::move(ad);
      ownLoaded = true;
    };
    loaderDelegate.didFailWithError = [](const tilo::Error& error) { report("own native", error); };
    loaderDelegate.didRecordImpression = [&](const std::optional<tilo::AdInfo>&) {
      ownImpressed = true;
    };
    game.ownNativeLoader.setDelegate(loaderDelegate);
    ok = check("own native load", game.ownNativeLoader.loadAd()) &&
         runUntil([&] { return ownLoaded; }, "own native load");
  }
  if (ok) {
    auto icon = game.ownNative.icon();
    ok = check("own native icon", icon.status());
    if (ok) {
      std::printf("own native: \"%s\" [%s], icon %dx%d\n",
                  game.ownNative.headline().value_or("").c_str(),
                  game.ownNative.callToAction().value_or("").c_str(), icon.value().width,
                  icon.value().height);
    }
    // ... drawn by the game's renderer; now it is on screen.
    ok = ok && check("own native impression", game.ownNative.recordImpression()) &&
         runUntil([&] { return ownImpressed; }, "own native impression");
    std::printf("own native %s\n", ownImpressed ? "impression" : "no impression");
  }

  ok =
      check("background", tilo::Ads::setApplicationState(tilo::ApplicationState::background)) && ok;
  (void)tilo::Ads::runMainLoopFor(0.2);
  // What is not sent yet is saved for the next run and every SDK thread ends here; the
  // objects still held answer TILO_STATUS_SHUT_DOWN from now on.
  ok = check("shutdown", tilo::shutdown()) && ok;
  std::printf("%s\n", ok ? "cpp-host: every ad shown" : "cpp-host: failed");
  return ok ? 0 : 1;
}
