// The demo's light popup: shown over the phone window until its own timer closes it.
#include "tools/demo/DemoApp.h"

#include <functional>
#include <iomanip>
#include <sstream>

#include "Tilo/views/TiloLightPopupAdLoader.h"
#include "platform/ui/UIViewController.h"
#include "platform/ui/UIWindow.h"

namespace tilo::demo {

namespace {

std::string seconds(double value, int decimals) {
  std::ostringstream text;
  text << std::fixed << std::setprecision(decimals) << value;
  return text.str();
}

}  // namespace

bool DemoApp::runLightPopup(const TiloAdUnitItem& item) {
  const mediation::AdScript script = expectation(item, DemoFormat::lightPopup);
  observed_ = {};
  // Shared with the listeners, which the popup keeps after this function returns.
  struct Progress {
    std::shared_ptr<TiloLightPopupAd> ad;
    std::optional<TiloError> loadError;
    std::optional<double> shownAt, closedAt, dismissedAt;
  };
  auto progress = std::make_shared<Progress>();

  auto loader = TiloLightPopupAdLoader::create(TiloAdUnit{item.tiloAdUnitId, std::nullopt});
  loader->registerPlugin(plugin_);
  auto& listener = *loader->listener();
  listener.onAdLoadSuccess = [this, progress](std::shared_ptr<TiloLightPopupAd> ad,
                                              std::optional<TiloAdInfo> info) {
    progress->ad = std::move(ad);
    hostCallback("onAdLoadSuccess", describe(info));
  };
  listener.onAdLoadFail = [this, progress](const TiloError& error) {
    progress->loadError = error;
    hostCallback("onAdLoadFail", error.debugDescription());
  };
  listener.onAdImpression = [this](auto info) { hostCallback("onAdImpression", describe(info)); };
  listener.onAdClicked = [this](auto info) { hostCallback("onAdClicked", describe(info)); };
  loader->loadAd();
  loop_->runUntil([&] { return progress->ad || progress->loadError; },
                  script.delayMs / 1000 + kStepLimit);
  if (progress->loadError) {
    if (!script.fill) {
      out_ << "  lightPopup: no ad, as scripted\n";
      return true;
    }
    out_ << "  error: " << progress->loadError->debugDescription() << "\n";
    return false;
  }
  if (!progress->ad) {
    out_ << "  error: no load result within " << kStepLimit << " s\n";
    return false;
  }
  if (!script.fill) {
    out_ << "  error: the scenario scripts an error, but an ad was delivered\n";
    return false;
  }

  // The host's screen in the demo window; the popup comes over it.
  auto window = makeWindow();
  auto host = platform::UIViewController::create("tilo-demo");
  window->setRootViewController(host);
  host->view()->setBackgroundColor(platform::UIColor::systemBackgroundColor());
  const auto popup = progress->ad->lightPopupVC();
  auto& display = *progress->ad->lightPopupAdListener();
  std::weak_ptr<Progress> weak = progress;
  display.onShown = [this, weak](auto info) {
    auto progress = weak.lock();
    if (progress) progress->shownAt = elapsed();
    hostCallback("onShown", describe(info) + " at " + seconds(elapsed(), 3) + " s");
  };
  display.onDismiss = [this, weak](auto info) {
    auto progress = weak.lock();
    if (progress) progress->dismissedAt = elapsed();
    hostCallback("onDismiss", describe(info) + " at " + seconds(elapsed(), 3) + " s");
  };
  display.onFailedToShow = [this](auto, const TiloError& error) {
    hostCallback("onFailedToShow", error.debugDescription());
  };
  out_ << "  show\n";
  progress->ad->show(host);

  const bool expectRevenue = static_cast<bool>(script.revenue);
  loop_->runUntil(
      [&] {
        return progress->shownAt && observed_.callbacks.count("onAdImpression") &&
               (!script.click || observed_.callbacks.count("onAdClicked")) &&
               (!expectRevenue || !observed_.revenueEvents.empty());
      },
      kStepLimit);
  bool ok = true;
  if (!progress->shownAt) {
    out_ << "  error: not shown within " << kStepLimit << " s\n";
    return false;
  }
  ok = checkEngagement(script) && ok;
  if (expectRevenue) ok = checkRevenue(item, script) && ok;
  if (options_.snapshots) ok = writeSnapshots("lightPopup", *window) && ok;

  // Left to the popup's own timer: closing drops the timer, so the moment it is gone is
  // the moment the popup closed itself.
  auto wait = [this](const std::function<bool()>& done, double limit) {
    return skippingIdle_ ? skippingIdle_->runUntilSkippingIdle(done, limit)
                         : loop_->runUntil(done, limit);
  };
  const double delay = TiloLightPopupViewController::dismissDelay;
  if (wait([&] { return !popup->dismissTimer() || progress->dismissedAt; }, delay + kStepLimit)) {
    progress->closedAt = elapsed();
  }
  wait([&] { return progress->dismissedAt.has_value(); }, kStepLimit);
  if (!progress->closedAt || !progress->dismissedAt) {
    out_ << "  error: the popup did not close within " << delay + kStepLimit
         << " s after onShown\n";
    return false;
  }
  const double after = *progress->closedAt - *progress->shownAt;
  out_ << "  lightPopup closed by its timer " << seconds(after, 1) << " s after onShown\n";
  // Late is a busy machine; early is a broken timer.
  if (after < delay - 0.05) {
    out_ << "  error: closed before its " << delay << " s\n";
    ok = false;
  }
  if (ok) out_ << "  lightPopup: ok\n";
  return ok;
}

}  // namespace tilo::demo
