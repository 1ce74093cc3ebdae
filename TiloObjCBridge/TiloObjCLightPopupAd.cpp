#include "TiloObjCBridge/TiloObjCLightPopupAd.h"

#include "TiloObjCBridge/TiloObjCView.h"
#include "TiloObjCBridge/TiloObjCWindow.h"

namespace tilo::bridge {

std::shared_ptr<TiloObjCLightPopupAd> TiloObjCLightPopupAd::create(
    std::shared_ptr<TiloLightPopupAd> ad) {
  auto wrapper = std::make_shared<TiloObjCLightPopupAd>(std::move(ad));
  wrapper->installDisplayClosures();
  return wrapper;
}

void TiloObjCLightPopupAd::installDisplayClosures() {
  using Delegate = tilo_light_popup_ad_delegate;
  std::weak_ptr<TiloObjCLightPopupAd> weak = weak_from_this();
  auto& listener = *ad_->lightPopupAdListener();
  listener.onShown = [weak](std::optional<TiloAdInfo> info) {
    if (auto self = weak.lock()) {
      post(self, [info](const Delegate& d, void* context, tilo_light_popup_ad* handle) {
        if (d.did_show) d.did_show(context, handle, CAdInfo(info).get());
      });
    }
  };
  listener.onDismiss = [weak](std::optional<TiloAdInfo> info) {
    if (auto self = weak.lock()) {
      post(self, [info](const Delegate& d, void* context, tilo_light_popup_ad* handle) {
        if (d.did_dismiss) d.did_dismiss(context, handle, CAdInfo(info).get());
      });
    }
  };
  listener.onFailedToShow = [weak](std::optional<TiloAdInfo> info, const TiloError& error) {
    if (auto self = weak.lock()) {
      post(self, [info, message = error.message()](const Delegate& d, void* context,
                                                   tilo_light_popup_ad* handle) {
        if (!d.did_fail_to_show) return;
        const CError converted(TILO_ERROR_DOMAIN_LIGHT_POPUP, TILO_ERROR_VIEW_FAILED, message,
                               info ? std::optional(info->adUnitId) : std::nullopt);
        d.did_fail_to_show(context, handle, converted.get(), CAdInfo(info).get());
      });
    }
  };
}

void TiloObjCLightPopupAd::showFrom(
    const std::shared_ptr<platform::UIViewController>& viewController) {
  ad_->show(viewController);
}

void TiloObjCLightPopupAd::close() {
  const auto& controller = ad_->lightPopupVC();
  if (!controller->presentingViewController() || controller->isBeingDismissed()) return;
  controller->finishTransitionNow();  // a dismissal is refused during the fade-in
  controller->handleCloseButtonTapped();
}

void TiloObjCLightPopupAd::setColor(platform::UIColor TiloLightPopupConfiguration::*field,
                                    tilo_color color) {
  setConfigurationColor(*ad_, field, color);
}

namespace {

using Api = HandleApi<TiloObjCLightPopupAd, tilo_light_popup_ad, HandleType::lightPopupAd>;

tilo_status setColor(tilo_light_popup_ad* ad, platform::UIColor TiloLightPopupConfiguration::*field,
                     tilo_color color) {
  return Api::run(ad, [&](TiloObjCLightPopupAd& wrapper) { wrapper.setColor(field, color); });
}

}  // namespace
}  // namespace tilo::bridge

using tilo::TiloLightPopupConfiguration;
using tilo::bridge::Api;
using tilo::bridge::setColor;

extern "C" {

tilo_status tilo_light_popup_ad_destroy(tilo_light_popup_ad* ad) {
  return Api::destroy(ad);
}
tilo_status tilo_light_popup_ad_set_delegate(tilo_light_popup_ad* ad,
                                             const tilo_light_popup_ad_delegate* delegate,
                                             void* context) {
  return Api::setDelegate(ad, delegate, context, [](const tilo_light_popup_ad_delegate& d) {
    return d.did_show && d.did_dismiss && d.did_fail_to_show;
  });
}
tilo_status tilo_light_popup_ad_show_from(tilo_light_popup_ad* ad,
                                          tilo_view_controller* view_controller) {
  std::shared_ptr<tilo::platform::UIViewController> controller;
  if (auto [status, wrapper] = Api::check(ad); status != TILO_STATUS_OK) return status;
  if (!view_controller) return TILO_STATUS_NULL_ARGUMENT;
  if (auto status = tilo::bridge::findViewController(view_controller, controller);
      status != TILO_STATUS_OK) {
    return status;
  }
  return Api::run(
      ad, [&](tilo::bridge::TiloObjCLightPopupAd& wrapper) { wrapper.showFrom(controller); });
}
tilo_status tilo_light_popup_ad_close(tilo_light_popup_ad* ad) {
  return Api::run(ad, [](tilo::bridge::TiloObjCLightPopupAd& wrapper) { wrapper.close(); });
}
tilo_status tilo_light_popup_ad_set_background_color(tilo_light_popup_ad* ad, tilo_color color) {
  return setColor(ad, &TiloLightPopupConfiguration::backgroundColor, color);
}
tilo_status tilo_light_popup_ad_set_card_view_background_color(tilo_light_popup_ad* ad,
                                                               tilo_color color) {
  return setColor(ad, &TiloLightPopupConfiguration::cardViewBackgroundColor, color);
}
tilo_status tilo_light_popup_ad_set_close_button_text_color(tilo_light_popup_ad* ad,
                                                            tilo_color color) {
  return setColor(ad, &TiloLightPopupConfiguration::closeButtonTextColor, color);
}

}  // extern "C"
