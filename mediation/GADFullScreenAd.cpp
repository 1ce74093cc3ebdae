#include "mediation/GADFullScreenAd.h"

#include "platform/Environment.h"

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

void GADFullScreenAd::presentScripted(std::function<void()> earnReward) {
  if (!canPresentFromRootViewController(nullptr, nullptr) || presented_.exchange(true)) return;
  // The platform keeps a presented ad alive until it closes.
  auto self = shared_from_this();
  platform::postToMain(
      [self, earnReward = std::move(earnReward)] { self->runPresentation(earnReward); });
}

void GADFullScreenAd::runPresentation(const std::function<void()>& earnReward) {
  // Delegates are looked up before each callback: a callback may release one.
  auto notify = [this](auto method, auto&&... args) {
    if (auto delegate = delegate_.lock()) ((*delegate).*method)(args...);
  };
  if (script_.presentError) {
    notify(&GADFullScreenContentDelegate::didFailToPresentFullScreenContentWithError,
           *script_.presentError);
    return;
  }
  notify(&GADFullScreenContentDelegate::adWillPresentFullScreenContent);
  notify(&GADFullScreenContentDelegate::adDidRecordImpression);
  if (auto handler = paidEventHandler_; handler && script_.revenue) handler(*script_.revenue);
  if (script_.click) notify(&GADFullScreenContentDelegate::adDidRecordClick);
  if (earnReward && script_.reward) earnReward();
  platform::Environment::current().mainExecutor()->postDelayed(
      [self = shared_from_this()] {
        if (auto delegate = self->delegate_.lock()) delegate->adDidDismissFullScreenContent();
      },
      script_.dismissAfterMs / 1000.0);
}

}  // namespace tilo::mediation
