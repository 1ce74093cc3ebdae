// A loaded light popup as the host holds it: made by the loader wrapper, which hands the
// new handle to the host's did_load. Its display closures are installed at once.
//
//   auto wrapper = TiloObjCLightPopupAd::create(loadedAd);
//   void* handle = HandleTable::shared().insert(HandleType::lightPopupAd, wrapper);
//   wrapper->setHandle(static_cast<tilo_light_popup_ad*>(handle));
#pragma once

#include <memory>

#include "Tilo/views/TiloLightPopupAd.h"
#include "TiloObjCBridge/HandleTable.h"
#include "TiloObjCBridge/TiloObjCHandleApi.h"
#include "tilo/tilo.h"

namespace tilo::bridge {

class TiloObjCLightPopupAd final
    : public HandleObject,
      public DelegateTarget<tilo_light_popup_ad_delegate, tilo_light_popup_ad>,
      public std::enable_shared_from_this<TiloObjCLightPopupAd> {
 public:
  static std::shared_ptr<TiloObjCLightPopupAd> create(std::shared_ptr<TiloLightPopupAd> ad);
  explicit TiloObjCLightPopupAd(std::shared_ptr<TiloLightPopupAd> ad) : ad_(std::move(ad)) {}

  const std::shared_ptr<TiloLightPopupAd>& ad() const { return ad_; }
  void showFrom(const std::shared_ptr<platform::UIViewController>& viewController);
  // Closes it as its close button does, when it is on screen and not already leaving.
  void close();
  // Sets one colour of the popup's configuration and applies it.
  void setColor(platform::UIColor TiloLightPopupConfiguration::*field, tilo_color color);

  void willDestroy() override { endDelegate(); }

 private:
  void installDisplayClosures();

  const std::shared_ptr<TiloLightPopupAd> ad_;
};

}  // namespace tilo::bridge
