#include "mediation/GADFullScreenAd.h"

#include "platform/Environment.h"
#include "platform/ui/UIView.h"
#include "platform/ui/UIWindow.h"

namespace tilo::mediation {

GADFullScreenAd::GADFullScreenAd(std::string adUnitId, AdScript script)
    : adUnitId_(std::move(adUnitId)),
      script_(std::move(script)),
      responseInfo_(script_.responseInfo()),
      loadedAt_(platform::Environment::current().clock().uptime()) {}

bool GADFullScreenAd::canPresentFromRootViewController(std::shared_ptr<platform::UIViewController>,
                                                       NSError* error) const {
  std::optional<NSError> refusal;
  if (presented_.load()) {
    refusal = NSError{kGADErrorDomain, GADErrorAdAlreadyUsed, "Ad has already been used."};
  } else if (script_.expiresAfterMs &&
             platform::Environment::current().clock().uptime() - loadedAt_ >=
                 *script_.expiresAfterMs / 1000.0) {
    refusal = NSError{kGADErrorDomain, GADErrorInternalError, "Ad has expired."};
  }
  if (refusal && error) *error = *refusal;
  return !refusal;
}

void GADFullScreenAd::presentScripted(
    const std::shared_ptr<platform::UIViewController>& viewController,
    std::function<void()> earnReward) {
  if (!canPresentFromRootViewController(nullptr, nullptr) || presented_.exchange(true)) return;
  // The platform keeps a presented ad alive until it closes.
  auto self = shared_from_this();
  const auto& view = viewController ? viewController->viewIfLoaded() : nullptr;
  if (auto window = view ? view->window() : nullptr) {
    std::weak_ptr<GADFullScreenAd> weak = self;
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
  platform::postToMain(
      [self, earnReward = std::move(earnReward)] { self->runPresentation(earnReward); });
}

void GADFullScreenAd::dismiss() {
  if (dismissed_) return;
  dismissed_ = true;
  onScreen_ = false;
  windowClosed_.cancel();
  if (auto delegate = delegate_.lock()) delegate->adDidDismissFullScreenContent();
}

void GADFullScreenAd::runPresentation(const std::function<void()>& earnReward) {
  // Delegates are looked up before each callback: a callback may release one.
  auto notify = [this](auto method, auto&&... args) {
    if (auto delegate = delegate_.lock()) ((*delegate).*method)(args...);
  };
  if (script_.presentError || windowGone_) {
    windowClosed_.cancel();
    notify(&GADFullScreenContentDelegate::didFailToPresentFullScreenContentWithError,
           script_.presentError ? *script_.presentError
                                : NSError{kGADErrorDomain, GADErrorInvalidArgument,
                                          "The view controller's window was closed."});
    return;
  }
  onScreen_ = true;
  notify(&GADFullScreenContentDelegate::adWillPresentFullScreenContent);
  notify(&GADFullScreenContentDelegate::adDidRecordImpression);
  if (auto handler = paidEventHandler_; handler && script_.revenue) handler(*script_.revenue);
  if (script_.click) notify(&GADFullScreenContentDelegate::adDidRecordClick);
  if (earnReward && script_.reward) earnReward();
  if (dismissed_) return;  // a callback closed the window
  platform::Environment::current().mainExecutor()->postDelayed(
      [self = shared_from_this()] { self->dismiss(); }, script_.dismissAfterMs / 1000.0);
}

}  // namespace tilo::mediation
