// tilo_app_open_ad: the app-open wrapper; it shows without a view controller.
#include "Tilo/ads/TiloAppOpenAdLoader.h"
#include "TiloObjCBridge/TiloObjCFullScreenAd.h"

namespace tilo::bridge {
namespace {

struct AppOpenKind {
  using Loader = TiloAppOpenAdLoader;
  using Ad = TiloAppOpenAd;
  using Delegate = tilo_app_open_ad_delegate;
  using Handle = tilo_app_open_ad;
  static constexpr HandleType kType = HandleType::appOpenAd;
  static constexpr std::int64_t kFormat = TILO_AD_FORMAT_APP_OPEN;

  static TiloDisplayListener& display(Ad& ad) { return *ad.appOpenAdListener(); }
  static void installReward(TiloObjCFullScreenAd<AppOpenKind>&, Ad&) {}
  static void show(Ad& ad, const std::shared_ptr<platform::UIViewController>&) { ad.show(); }
};

using Api = FullScreenApi<AppOpenKind>;

}  // namespace
}  // namespace tilo::bridge

using tilo::bridge::Api;

extern "C" {

tilo_app_open_ad* tilo_app_open_ad_create(const char* ad_unit_id) {
  return Api::create(ad_unit_id);
}
tilo_status tilo_app_open_ad_destroy(tilo_app_open_ad* ad) {
  return Api::destroy(ad);
}
tilo_status tilo_app_open_ad_set_delegate(tilo_app_open_ad* ad,
                                          const tilo_app_open_ad_delegate* delegate,
                                          void* context) {
  return Api::setDelegate(ad, delegate, context);
}
tilo_status tilo_app_open_ad_load(tilo_app_open_ad* ad) {
  return Api::run(ad, [](auto& wrapper) { wrapper.load(); });
}
tilo_status tilo_app_open_ad_show(tilo_app_open_ad* ad) {
  return Api::showFrom(ad, nullptr);
}
int tilo_app_open_ad_is_ready(tilo_app_open_ad* ad) {
  return Api::isReady(ad);
}
int tilo_app_open_ad_ad_info(tilo_app_open_ad* ad, tilo_ad_info* info) {
  return Api::adInfo(ad, info);
}

}  // extern "C"
