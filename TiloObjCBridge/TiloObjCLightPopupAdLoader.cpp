// tilo_light_popup_ad_loader: loads light popups for one unit. Each loaded popup becomes a
// new tilo_light_popup_ad handle that did_load hands to the host, which owns it from then
// on; a popup nobody receives (loader destroyed meanwhile, no ad info) is released again.
#include "Tilo/views/TiloLightPopupAdLoader.h"
#include "TiloObjCBridge/TiloObjCLightPopupAd.h"

namespace tilo::bridge {
namespace {

using Delegate = tilo_light_popup_ad_loader_delegate;
using Handle = tilo_light_popup_ad_loader;

// The loader's callbacks as the host hears them: light popup format, no network.
std::optional<TiloAdInfo> relabelled(std::optional<TiloAdInfo> info) {
  if (info) {
    info->adFormat = TiloAdFormat::lightPopup;
    info->adNetwork = std::nullopt;
  }
  return info;
}

class TiloObjCLightPopupAdLoader final
    : public HandleObject,
      public AdLoaderTarget<TiloObjCLightPopupAdLoader, Delegate, Handle>,
      public std::enable_shared_from_this<TiloObjCLightPopupAdLoader> {
 public:
  static std::shared_ptr<TiloObjCLightPopupAdLoader> create(const std::string& unitId) {
    auto wrapper = std::make_shared<TiloObjCLightPopupAdLoader>(
        TiloLightPopupAdLoader::create(TiloAdUnit{unitId, std::nullopt}), unitId);
    wrapper->installListener();
    return wrapper;
  }
  TiloObjCLightPopupAdLoader(std::shared_ptr<TiloLightPopupAdLoader> loader, std::string unitId)
      : loader_(std::move(loader)), unitId_(std::move(unitId)) {}

  void loadAd() { loader_->loadAd(); }
  void willDestroy() override { endDelegate(); }

 private:
  void installListener() {
    std::weak_ptr<TiloObjCLightPopupAdLoader> weak = weak_from_this();
    auto& listener = *loader_->listener();
    listener.onAdLoadSuccess = [weak](std::shared_ptr<TiloLightPopupAd> ad,
                                      std::optional<TiloAdInfo> info) {
      if (auto self = weak.lock()) self->loaded(std::move(ad), std::move(info));
    };
    forwardEvents(listener, TILO_ERROR_DOMAIN_LIGHT_POPUP_LOADER, unitId_);
  }

  void loaded(std::shared_ptr<TiloLightPopupAd> ad, std::optional<TiloAdInfo> info) {
    if (!info) return;  // hosts get a popup only with its information
    watchRevenue(*ad);
    auto popup = TiloObjCLightPopupAd::create(std::move(ad));
    void* adHandle = HandleTable::shared().insert(HandleType::lightPopupAd, popup);
    if (!adHandle) return;
    popup->setHandle(static_cast<tilo_light_popup_ad*>(adHandle));
    deliver<tilo_light_popup_ad>(adHandle, HandleType::lightPopupAd, std::move(info));
  }

  // Paid events of the popup's card reach only a plugin in the SDK; the wrapper listens on
  // the card's loader as well.
  void watchRevenue(TiloLightPopupAd& ad) {
    const auto& loader = ad.lightPopupVC()->contentView()->loader();
    if (!loader) return;
    auto events = loader->listener();
    auto previous = events->onAdInternalEvent;
    std::weak_ptr<TiloObjCLightPopupAdLoader> weak = weak_from_this();
    events->onAdInternalEvent = [previous, weak](std::optional<TiloAdInfo> info,
                                                 const TiloRevenueInfo& revenue) {
      if (previous) previous(info, revenue);
      auto self = weak.lock();
      if (!self) return;
      post(self,
           [info = relabelled(info), revenue](const Delegate& d, void* context, Handle* handle) {
             if (!d.did_pay) return;
             const CRevenue converted(revenue);
             d.did_pay(context, handle, CAdInfo(info).get(), converted.get());
           });
    };
  }

  const std::shared_ptr<TiloLightPopupAdLoader> loader_;
  const std::string unitId_;
};

using Api = HandleApi<TiloObjCLightPopupAdLoader, Handle, HandleType::lightPopupAdLoader>;

}  // namespace
}  // namespace tilo::bridge

using tilo::bridge::Api;

extern "C" {

tilo_light_popup_ad_loader* tilo_light_popup_ad_loader_create(const char* unit_id) {
  using namespace tilo::bridge;
  return Api::create(checkIdentifier(unit_id),
                     [&] { return TiloObjCLightPopupAdLoader::create(unit_id); });
}
tilo_status tilo_light_popup_ad_loader_destroy(tilo_light_popup_ad_loader* loader) {
  return Api::destroy(loader);
}
tilo_status tilo_light_popup_ad_loader_set_delegate(
    tilo_light_popup_ad_loader* loader, const tilo_light_popup_ad_loader_delegate* delegate,
    void* context) {
  return Api::setDelegate(loader, delegate, context,
                          [](const tilo_light_popup_ad_loader_delegate& d) {
                            return d.did_load && d.did_fail_with_error;
                          });
}
tilo_status tilo_light_popup_ad_loader_load_ad(tilo_light_popup_ad_loader* loader) {
  return Api::run(loader, [](auto& wrapper) { wrapper.loadAd(); });
}

}  // extern "C"
