#include "Tilo/views/TiloLightPopupAd.h"

#include "Tilo/telemetry/CrashMarkers.h"

namespace tilo {

std::shared_ptr<TiloLightPopupAd> TiloLightPopupAd::create(
    std::shared_ptr<TiloLightPopupViewController> controller) {
  return std::make_shared<TiloLightPopupAd>(Passkey(), std::move(controller));
}

TiloLightPopupAd::TiloLightPopupAd(Passkey,
                                   std::shared_ptr<TiloLightPopupViewController> controller)
    : lightPopupVC_(std::move(controller)) {}

void TiloLightPopupAd::show(const std::shared_ptr<platform::UIViewController>& viewController) {
  markAdShow(TiloAdInfo{TiloAdFormat::lightPopup, lightPopupVC_->unit().unitId, std::nullopt,
                        std::nullopt});
  lightPopupVC_->setModalPresentationStyle(platform::UIModalPresentationStyle::overFullScreen);
  lightPopupVC_->setModalTransitionStyle(platform::UIModalTransitionStyle::crossDissolve);
  if (!viewController) {  // nothing to present on
    clearMarker(CrashMarkerCheckpoint::adShowCrash);
    return;
  }
  std::weak_ptr<TiloLightPopupAd> weak = weak_from_this();
  viewController->presentViewController(lightPopupVC_, true, [weak] {
    if (auto self = weak.lock()) self->lightPopupVC_->presentationDidComplete();
    clearMarker(CrashMarkerCheckpoint::adShowCrash);
  });
}

}  // namespace tilo
