#include "Tilo/ads/TiloRewardedAd.h"

namespace tilo {

std::shared_ptr<TiloRewardedAd> TiloRewardedAd::create(std::shared_ptr<AdPresentable> adPresenter,
                                                       std::shared_ptr<Listener> listener) {
  return std::make_shared<TiloRewardedAd>(Passkey(), std::move(adPresenter), std::move(listener));
}

TiloRewardedAd::TiloRewardedAd(Passkey, std::shared_ptr<AdPresentable> adPresenter,
                               std::shared_ptr<Listener> listener)
    : adPresenter_(std::move(adPresenter)), listener_(std::move(listener)) {
  adPresenter_->setRewardedAdListener(rewardedAdListener_);
  adPresenter_->setDisplayListener(rewardedAdListener_);
}

TiloAdInfo TiloRewardedAd::adInfo() const {
  return adPresenter_->adInfo();
}

bool TiloRewardedAd::isReady() const {
  return adPresenter_->isReady(nullptr);
}

void TiloRewardedAd::show(std::shared_ptr<platform::UIViewController> viewController) {
  showWithCrashMarker(*adPresenter_, viewController);
}

void TiloRewardedAd::setPlacement(const std::string& placement) {
  adPresenter_->setPlacement(placement);
}

void TiloRewardedAd::setCustomData(const std::string& customData) {
  adPresenter_->setCustomData(customData);
}

}  // namespace tilo
