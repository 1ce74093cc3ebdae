#include "Tilo/ads/TiloAppOpenAd.h"

namespace tilo {

std::shared_ptr<TiloAppOpenAd> TiloAppOpenAd::create(std::shared_ptr<AdPresentable> adPresenter,
                                                     std::shared_ptr<Listener> listener) {
  return std::make_shared<TiloAppOpenAd>(Passkey(), std::move(adPresenter), std::move(listener));
}

TiloAppOpenAd::TiloAppOpenAd(Passkey, std::shared_ptr<AdPresentable> adPresenter,
                             std::shared_ptr<Listener> listener)
    : adPresenter_(std::move(adPresenter)), listener_(std::move(listener)) {
  adPresenter_->setDisplayListener(appOpenAdListener_);
}

TiloAdInfo TiloAppOpenAd::adInfo() const {
  return adPresenter_->adInfo();
}

bool TiloAppOpenAd::isReady() const {
  return adPresenter_->isReady(nullptr);
}

void TiloAppOpenAd::show() {
  showWithCrashMarker(*adPresenter_, nullptr);
}

}  // namespace tilo
