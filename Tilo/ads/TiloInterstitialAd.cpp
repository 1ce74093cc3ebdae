#include "Tilo/ads/TiloInterstitialAd.h"

namespace tilo {

std::shared_ptr<TiloInterstitialAd> TiloInterstitialAd::create(
    std::shared_ptr<AdPresentable> adPresenter, std::shared_ptr<Listener> listener) {
  return std::make_shared<TiloInterstitialAd>(Passkey(), std::move(adPresenter),
                                              std::move(listener));
}

TiloInterstitialAd::TiloInterstitialAd(Passkey, std::shared_ptr<AdPresentable> adPresenter,
                                       std::shared_ptr<Listener> listener)
    : adPresenter_(std::move(adPresenter)), listener_(std::move(listener)) {
  adPresenter_->setDisplayListener(interstitialListener_);
}

TiloAdInfo TiloInterstitialAd::adInfo() const {
  return adPresenter_->adInfo();
}

bool TiloInterstitialAd::isReady() const {
  return adPresenter_->isReady(nullptr);
}

void TiloInterstitialAd::show(std::shared_ptr<platform::UIViewController> viewController) {
  showWithCrashMarker(*adPresenter_, viewController);
}

}  // namespace tilo
