#include "mediation/GADFullScreenAd.h"

#include <algorithm>
#include <cmath>

#include "mediation/GADFullScreenAdViewController.h"
#include "mediation/TestCreatives.h"
#include "mediation/demand/BidNotices.h"
#include "platform/Application.h"
#include "platform/Environment.h"
#include "platform/ui/UIView.h"
#include "platform/ui/UIWindow.h"

namespace tilo::mediation {
namespace {

using platform::UIViewController;
using platform::UIWindow;

std::shared_ptr<UIWindow> openWindowOf(const std::shared_ptr<UIViewController>& controller) {
  const auto& view = controller ? controller->viewIfLoaded() : nullptr;
  auto window = view ? view->window() : nullptr;
  return window && !window->isClosed() ? window : nullptr;
}

// What the screen goes over: the topmost controller presented from `controller` when it
// is in a window; without a controller, from the key window's root. Null: no screen.
std::shared_ptr<UIViewController> presenterFor(std::shared_ptr<UIViewController> controller) {
  if (!controller) {
    auto key = UIWindow::keyWindow();
    controller = key ? key->rootViewController() : nullptr;
  }
  if (!openWindowOf(controller)) return nullptr;
  while (controller->presentedViewController()) controller = controller->presentedViewController();
  return controller;
}

// Taps the middle of `view` through its window, as a finger would. False when `view` is
// hidden or not in an open window.
bool tapThroughWindow(const std::shared_ptr<platform::UIView>& view) {
  auto window = view ? view->window() : nullptr;
  if (!window || window->isClosed() || view->isHidden()) return false;
  window->layoutIfNeeded();
  const platform::CGRect box = view->bounds();
  window->tap(view->convertPointToView({box.midX(), box.midY()}, window.get()));
  return true;
}

}  // namespace

GADFullScreenAd::GADFullScreenAd(std::string format, std::string adUnitId, AdScript script)
    : format_(std::move(format)),
      adUnitId_(std::move(adUnitId)),
      script_(std::move(script)),
      responseInfo_(script_.responseInfo()),
      loadedAt_(platform::Environment::current().clock().uptime()) {}

bool GADFullScreenAd::canPresentFromRootViewController(std::shared_ptr<UIViewController>,
                                                       NSError* error) const {
  std::optional<NSError> refusal;
  if (presented_.load()) {
    refusal = NSError{kGADErrorDomain, GADErrorAdAlreadyUsed, "Ad has already been used."};
  } else if (script_.expiresAfterMs &&
             platform::Environment::current().clock().uptime() - loadedAt_ >=
                 *script_.expiresAfterMs / 1000.0) {
    refusal = GADAdExpiredError();
  }
  if (refusal && error) *error = *refusal;
  return !refusal;
}

void GADFullScreenAd::watchExpiry() {
  if (!script_.notices || !script_.expiresAfterMs) return;
  std::weak_ptr<GADFullScreenAd> weak = shared_from_this();
  expiry_ = platform::Timer::scheduled(*script_.expiresAfterMs / 1000.0, false, [weak] {
    if (auto ad = weak.lock(); ad && !ad->presented_.load()) ad->script_.notices->expired();
  });
}

void GADFullScreenAd::presentScripted(const std::shared_ptr<UIViewController>& viewController,
                                      std::function<void()> earnReward) {
  if (!canPresentFromRootViewController(nullptr, nullptr) || presented_.exchange(true)) return;
  // The platform keeps a presented ad alive until it closes.
  keepAlive_ = shared_from_this();
  expiry_.reset();
  auto presenter = presenterFor(viewController);
  presenter_ = presenter;
  auto window = openWindowOf(presenter);
  if (presenter) {
    const bool appOpen = format_ == "appOpen";
    screen_ = GADFullScreenAdViewController::create(
        format_, TestCreatives::creativeFor(script_, format_),
        appOpen ? GADFullScreenAdViewController::mainBundleAppName() : std::string());
  }
  if (window) {
    std::weak_ptr<GADFullScreenAd> weak = keepAlive_;
    windowClosed_ = window->observeClose([weak] {
      auto ad = weak.lock();
      if (!ad) return;
      ad->windowGone_ = true;  // a presentation that has not started yet fails
      // The dismissal calls out to the host: not under the subscription's lock.
      platform::postToMain([weak] {
        auto ad = weak.lock();
        if (ad && ad->onScreen_) ad->dismiss();
      });
    });
  }
  platform::postToMain([self = keepAlive_, earnReward = std::move(earnReward)] {
    self->runPresentation(earnReward);
  });
}

void GADFullScreenAd::fail(const NSError& error) {
  auto self = std::move(keepAlive_);
  windowClosed_.cancel();
  screen_.reset();
  if (auto delegate = delegate_.lock()) delegate->didFailToPresentFullScreenContentWithError(error);
}

bool GADFullScreenAd::showScreen() {
  if (!screen_) return true;
  auto presenter = presenter_.lock();
  if (presenter) presenter->presentViewController(screen_, false);
  if (!screen_->presentingViewController()) {
    fail(NSError{kGADErrorDomain, GADErrorInvalidArgument,
                 "The ad could not be presented over the view controller."});
    return false;
  }
  std::weak_ptr<GADFullScreenAd> weak = shared_from_this();
  screen_->setOnCallToAction([weak] {
    if (auto ad = weak.lock(); ad && ad->onScreen_) ad->recordClick();
  });
  screen_->setOnClose([weak] {
    if (auto ad = weak.lock()) ad->dismiss();
  });
  return true;
}

void GADFullScreenAd::runPresentation(const std::function<void()>& earnReward) {
  // Delegates are looked up before each callback: a callback may release one.
  auto notify = [this](auto method) {
    if (auto delegate = delegate_.lock()) ((*delegate).*method)();
  };
  if (script_.presentError || windowGone_) {
    return fail(script_.presentError ? *script_.presentError
                                     : NSError{kGADErrorDomain, GADErrorInvalidArgument,
                                               "The view controller's window was closed."});
  }
  if (!showScreen()) return;
  onScreen_ = true;
  notify(&GADFullScreenContentDelegate::adWillPresentFullScreenContent);
  notify(&GADFullScreenContentDelegate::adDidRecordImpression);
  if (script_.notices) script_.notices->impression();
  if (auto handler = paidEventHandler_; handler && script_.revenue) handler(*script_.revenue);
  if (script_.click && !dismissed_) tapCallToAction();
  if (dismissed_) return;  // a callback closed the window
  shownAt_ = platform::Environment::current().clock().uptime();
  if (format_ == "rewarded" && script_.countdownMs > 0) {
    countDown(script_.countdownMs / 1000.0, earnReward);
  } else {
    grantReward(earnReward);
  }
}

void GADFullScreenAd::countDown(double secondsLeft, const std::function<void()>& earnReward) {
  if (secondsLeft <= 1e-9) return grantReward(earnReward);
  // The screen shows whole seconds; the next tick comes when the shown number changes.
  const double shown = std::ceil(secondsLeft - 1e-9);
  if (screen_) screen_->setCountdown(static_cast<int>(shown));
  const double step = secondsLeft - (shown - 1);
  std::weak_ptr<GADFullScreenAd> weak = shared_from_this();
  countdown_ = platform::Timer::scheduled(step, false, [weak, secondsLeft, step, earnReward] {
    if (auto ad = weak.lock(); ad && !ad->dismissed_) ad->countDown(secondsLeft - step, earnReward);
  });
}

void GADFullScreenAd::grantReward(const std::function<void()>& earnReward) {
  if (rewardGranted_) return;
  rewardGranted_ = true;
  countdown_.reset();
  if (screen_) screen_->setCountdown(std::nullopt);
  if (earnReward && script_.reward) earnReward();
  if (!dismissed_) scheduleDismissal();  // the close button is there now
}

void GADFullScreenAd::scheduleDismissal() {
  if (script_.waitsForClose || (script_.closedByPlayer && screen_)) return;
  // The simulated user closes the ad once the close button is there.
  const double elapsed = platform::Environment::current().clock().uptime() - shownAt_;
  const double after = std::max(0.0, script_.dismissAfterMs / 1000.0 - elapsed);
  std::weak_ptr<GADFullScreenAd> weak = shared_from_this();
  dismissal_ = platform::Timer::scheduled(after, false, [weak] {
    if (auto ad = weak.lock()) ad->tapClose();
  });
}

void GADFullScreenAd::recordClick() {
  ++clicks_;
  auto self = shared_from_this();  // a delegate may release the host's last reference
  if (script_.notices) script_.notices->click();
  if (auto delegate = delegate_.lock()) delegate->adDidRecordClick();
  // The destination opens on the next turn: the click reaches the host through the loader,
  // a turn later than it reaches the SDK, and the host hears of it before it is taken away.
  if (const auto destination = TestCreatives::creativeFor(script_, format_).clickUrl) {
    platform::postToMain([url = *destination] { platform::Application::shared().openURL(url); });
  }
}

void GADFullScreenAd::tapCallToAction() {
  const auto before = clicks_;
  if (screen_) tapThroughWindow(screen_->callToActionButton());
  if (clicks_ == before) recordClick();  // no screen, or nothing to tap on it
}

void GADFullScreenAd::tapClose() {
  if (screen_) tapThroughWindow(screen_->closeButton());
  if (!dismissed_) dismiss();
}

void GADFullScreenAd::dismiss() {
  if (dismissed_) return;
  dismissed_ = true;
  onScreen_ = false;
  auto self = keepAlive_ ? std::move(keepAlive_) : shared_from_this();
  windowClosed_.cancel();
  countdown_.reset();
  dismissal_.reset();
  if (auto screen = std::move(screen_); screen && screen->presentingViewController()) {
    screen->dismissViewController(false);
  }
  if (auto delegate = delegate_.lock()) delegate->adDidDismissFullScreenContent();
}

}  // namespace tilo::mediation
