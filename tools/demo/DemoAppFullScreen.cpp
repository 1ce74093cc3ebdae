// The demo's run of one format: the dispatch, and the full-screen formats (interstitial,
// rewarded, app open) loaded and shown as a host would, over the phone window's root view
// controller (app open: over the key window), and snapshotted while on screen.
#include "tools/demo/DemoApp.h"

#include <algorithm>
#include <set>
#include <type_traits>
#include <utility>

#include "Tilo/ads/TiloAppOpenAdLoader.h"
#include "Tilo/ads/TiloInterstitialAdLoader.h"
#include "Tilo/ads/TiloRewardedAdLoader.h"
#include "mediation/demand/BidCreative.h"
#include "platform/ui/UIViewController.h"
#include "platform/ui/UIWindow.h"

namespace tilo::demo {

bool DemoApp::runFormat(DemoFormat format) {
  // The host's screen the full-screen ads come over.
  std::shared_ptr<platform::UIWindow> window;
  std::shared_ptr<platform::UIViewController> host;
  if (format == DemoFormat::interstitial || format == DemoFormat::rewarded ||
      format == DemoFormat::appOpen) {
    window = makeWindow();
    host = platform::UIViewController::create("tilo-demo");
    window->setRootViewController(host);
    host->view()->setBackgroundColor(platform::UIColor::systemBackgroundColor());
    window->makeKeyWindow();
    fullScreenWindow_ = window;
  }
  const TiloAdUnitItem& item = items_.at(format);
  out_ << "\n" << demoFormatName(format) << " (" << item.tiloAdUnitId << ")\n";
  switch (format) {
    case DemoFormat::interstitial:
      return runFullScreen<TiloInterstitialAdLoader>(
          format, item, [this, host](TiloInterstitialAd& ad) {
            ad.interstitialListener()->onShown = [this](auto info) {
              hostCallback("onShown", describe(info));
            };
            ad.interstitialListener()->onDismiss = [this](auto) { hostCallback("onDismiss"); };
            ad.interstitialListener()->onFailedToShow = [this](auto, const TiloError& error) {
              hostCallback("onFailedToShow", error.debugDescription());
            };
            ad.show(host);
          });
    case DemoFormat::rewarded:
      return runFullScreen<TiloRewardedAdLoader>(format, item, [this, host](TiloRewardedAd& ad) {
        auto& listener = *ad.rewardedAdListener();
        listener.onShown = [this](auto info) { hostCallback("onShown", describe(info)); };
        listener.onDismiss = [this](auto) { hostCallback("onDismiss"); };
        listener.onFailedToShow = [this](auto, const TiloError& error) {
          hostCallback("onFailedToShow", error.debugDescription());
        };
        listener.onEarnedReward = [this](auto, std::optional<TiloRewardedItem> reward) {
          hostCallback(
              "onEarnedReward",
              reward ? std::to_string(reward->amount) + " " + reward->rewardType : "no reward");
        };
        ad.show(host);
      });
    case DemoFormat::appOpen:
      return runFullScreen<TiloAppOpenAdLoader>(format, item, [this](TiloAppOpenAd& ad) {
        ad.appOpenAdListener()->onShown = [this](auto info) {
          hostCallback("onShown", describe(info));
        };
        ad.appOpenAdListener()->onDismiss = [this](auto) { hostCallback("onDismiss"); };
        ad.appOpenAdListener()->onFailedToShow = [this](auto, const TiloError& error) {
          hostCallback("onFailedToShow", error.debugDescription());
        };
        ad.show();
      });
    case DemoFormat::banner:
    case DemoFormat::mrec:
    case DemoFormat::native:
    case DemoFormat::lineBanner:
      return runView(format, item);
    case DemoFormat::lightPopup:
      return runLightPopup(item);
  }
  return false;
}

template <class Loader, class Show>
bool DemoApp::runFullScreen(DemoFormat format, const TiloAdUnitItem& item, Show show) {
  using Ad = std::remove_reference_t<decltype(*std::declval<Loader>().ad())>;
  const mediation::AdScript script = expectation(item, format);
  observed_ = {};
  auto loaded = std::make_shared<std::shared_ptr<Ad>>();
  auto loadError = std::make_shared<std::optional<TiloError>>();

  auto loader = Loader::create(TiloAdUnit{item.tiloAdUnitId, std::nullopt});
  loader->registerPlugin(plugin_);
  auto& listener = *loader->listener();
  listener.onAdLoadSuccess = [this, loaded](std::shared_ptr<Ad> ad,
                                            std::optional<TiloAdInfo> info) {
    *loaded = ad;
    hostCallback("onAdLoadSuccess", describe(info));
  };
  listener.onAdLoadFail = [this, loadError](const TiloError& error) {
    *loadError = error;
    hostCallback("onAdLoadFail", error.debugDescription());
  };
  listener.onAdImpression = [this](auto info) { hostCallback("onAdImpression", describe(info)); };
  listener.onAdClicked = [this](auto info) { hostCallback("onAdClicked", describe(info)); };
  loader->load();
  loop_->runUntil([&] { return *loaded || *loadError; }, script.delayMs / 1000 + kStepLimit);

  if (*loadError) {
    if (!script.fill) {
      out_ << "  " << demoFormatName(format) << ": no ad, as scripted\n";
      return true;
    }
    out_ << "  error: " << (*loadError)->debugDescription() << "\n";
    return false;
  }
  if (!*loaded) {
    out_ << "  error: no load result within " << kStepLimit << " s\n";
    return false;
  }
  if (!script.fill) {
    out_ << "  error: the scenario scripts an error, but an ad was delivered\n";
    return false;
  }
  Ad& ad = **loaded;
  const bool ready = ad.isReady();
  out_ << "  ad info " << describe(ad.adInfo()) << "\n  isReady " << (ready ? "true" : "false")
       << "\n";
  if (!ready) {
    out_ << "  error: the loaded ad is not ready\n";
    return false;
  }

  std::set<std::string> expected;
  if (script.presentError) {
    expected = {"onFailedToShow"};
  } else {
    expected = {"onShown", "onAdImpression", "onDismiss"};
    if (script.click) expected.insert("onAdClicked");
    if (format == DemoFormat::rewarded && script.reward) expected.insert("onEarnedReward");
  }
  const bool expectRevenue = script.revenue && !script.presentError;
  auto complete = [&] {
    for (const auto& name : expected) {
      if (!observed_.callbacks.count(name)) return false;
    }
    return !expectRevenue || !observed_.revenueEvents.empty();
  };
  out_ << "  show\n";
  show(ad);
  bool ok = true;
  if (options_.snapshots && !script.presentError) ok = snapshotFullScreen(format, script);
  if (options_.realAds()) closeAsPlayer(format);
  const double countdown = format == DemoFormat::rewarded ? script.countdownMs : 0;
  waitFor(complete, std::max(script.dismissAfterMs, countdown) / 1000 + kStepLimit);

  for (const auto& name : expected) {
    if (!observed_.callbacks.count(name)) {
      out_ << "  error: no " << name << " within the time limit\n";
      ok = false;
    }
  }
  if (observed_.callbacks.count("onFailedToShow") && !script.presentError) {
    out_ << "  error: the ad failed to show, though the scenario scripts no present error\n";
    ok = false;
  }
  if (expectRevenue) ok = checkRevenue(item, script) && ok;
  if (ok) out_ << "  " << demoFormatName(format) << ": ok\n";
  return ok;
}

void DemoApp::closeAsPlayer(DemoFormat format) {
  const bool rewarded = format == DemoFormat::rewarded;
  waitFor(
      [&] {
        return observed_.callbacks.count("onDismiss") ||
               observed_.callbacks.count("onFailedToShow") ||
               (observed_.callbacks.count("onShown") &&
                (!rewarded || observed_.callbacks.count("onEarnedReward")));
      },
      mediation::demand::BidCreative::kRewardedCountdownSeconds + kStepLimit);
  auto& window = *fullScreenWindow_;
  const std::string id = std::string(demoFormatName(format)) + ".close";
  std::function<std::shared_ptr<platform::UIView>(const std::shared_ptr<platform::UIView>&)> find =
      [&](const std::shared_ptr<platform::UIView>& view) -> std::shared_ptr<platform::UIView> {
    if (view->accessibilityIdentifier() == id && !view->isHidden()) return view;
    for (const auto& child : view->subviews()) {
      if (auto found = find(child)) return found;
    }
    return nullptr;
  };
  auto presented = window.rootViewController()->presentedViewController();
  auto close = presented ? find(presented->view()) : nullptr;
  if (!close) return;  // already closed, or never shown: the checks below say which
  out_ << "  the player closes the ad\n";
  window.layoutIfNeeded();
  const platform::CGRect box = close->bounds();
  window.tap(close->convertPointToView({box.midX(), box.midY()}, &window));
}

bool DemoApp::snapshotFullScreen(DemoFormat format, const mediation::AdScript& script) {
  auto& window = *fullScreenWindow_;
  auto onScreen = [&] { return window.rootViewController()->presentedViewController() != nullptr; };
  waitFor(
      [&] {
        return observed_.callbacks.count("onShown") || observed_.callbacks.count("onDismiss") ||
               observed_.callbacks.count("onFailedToShow");
      },
      kStepLimit);
  if (!onScreen()) {
    out_ << "  error: the ad was not on screen for its snapshot\n";
    return false;
  }
  bool ok = writeSnapshots(std::string(demoFormatName(format)), window);
  // A rewarded ad that counts down: once more when the reward is granted.
  if (format == DemoFormat::rewarded && script.countdownMs > 0 && script.reward) {
    waitFor([&] { return observed_.callbacks.count("onEarnedReward") || !onScreen(); },
            script.countdownMs / 1000 + kStepLimit);
    if (onScreen()) ok = writeSnapshots("rewarded-granted", window) && ok;
  }
  return ok;
}

}  // namespace tilo::demo
