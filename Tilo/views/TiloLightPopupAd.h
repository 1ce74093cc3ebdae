// A loaded light popup, delivered by TiloLightPopupAdLoader. show presents it over the
// host's controller with a cross-dissolve; it closes by itself 6 seconds after it has
// appeared, or at once with its close button.
//
//   ad->lightPopupAdListener()->onDismiss = [](std::optional<TiloAdInfo>) { resume(); };
//   ad->show(gameViewController);
//
// Warning: keep the ad until it is dismissed. A popup whose ad is released before its
// presentation completes still appears, but without onShown and without the timer: it
// stays until its close button is tapped.
#pragma once

#include <memory>

#include "Tilo/base/TiloExport.h"
#include "Tilo/views/TiloLightPopupViewController.h"

namespace tilo {

class TILO_EXPORT TiloLightPopupAd : public std::enable_shared_from_this<TiloLightPopupAd> {
  // Keeps hosts from making ads themselves.
  class Passkey {
    friend class TiloLightPopupAd;
    explicit Passkey() = default;
  };

 public:
  // For the loader: the ad that presents `controller`.
  static std::shared_ptr<TiloLightPopupAd> create(
      std::shared_ptr<TiloLightPopupViewController> controller);
  TiloLightPopupAd(Passkey, std::shared_ptr<TiloLightPopupViewController> controller);

  const std::shared_ptr<TiloLightPopupViewController>& lightPopupVC() const {
    return lightPopupVC_;
  }
  const std::shared_ptr<TiloLightPopupListener>& lightPopupAdListener() const {
    return lightPopupVC_->lightPopupadListener();
  }
  const std::shared_ptr<TiloLightPopupConfiguration>& configuration() const {
    return lightPopupVC_->configuration();
  }
  // Applies it at once.
  void setConfiguration(std::shared_ptr<TiloLightPopupConfiguration> configuration) {
    lightPopupVC_->setConfiguration(std::move(configuration));
  }

  void show(const std::shared_ptr<platform::UIViewController>& viewController);

 private:
  const std::shared_ptr<TiloLightPopupViewController> lightPopupVC_;
};

}  // namespace tilo
