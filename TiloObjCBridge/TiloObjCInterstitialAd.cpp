// tilo_interstitial_ad: the interstitial wrapper.
#include "Tilo/ads/TiloInterstitialAdLoader.h"
#include "TiloObjCBridge/TiloObjCFullScreenAd.h"

namespace tilo::bridge {
namespace {

struct InterstitialKind {
  using Loader = TiloInterstitialAdLoader;
  using Ad = TiloInterstitialAd;
  using Delegate = tilo_interstitial_ad_delegate;
  using Handle = tilo_interstitial_ad;
  static constexpr HandleType kType = HandleType::interstitialAd;
  static constexpr std::int64_t kFormat = TILO_AD_FORMAT_INTERSTITIAL;

  static TiloDisplayListener& display(Ad& ad) { return *ad.interstitialListener(); }
  static void installReward(TiloObjCFullScreenAd<InterstitialKind>&, Ad&) {}
  static void show(Ad& ad, const std::shared_ptr<platform::UIViewController>& viewController) {
    ad.show(viewController);
  }
};

using Api = FullScreenApi<InterstitialKind>;

}  // namespace
}  // namespace tilo::bridge

using tilo::bridge::Api;

extern "C" {

tilo_interstitial_ad* tilo_interstitial_ad_create(const char* ad_unit_id) {
  return Api::create(ad_unit_id);
}
tilo_status tilo_interstitial_ad_destroy(tilo_interstitial_ad* ad) {
  return Api::destroy(ad);
}
tilo_status tilo_interstitial_ad_set_delegate(tilo_interstitial_ad* ad,
                                              const tilo_interstitial_ad_delegate* delegate,
                                              void* context) {
  return Api::setDelegate(ad, delegate, context);
}
tilo_status tilo_interstitial_ad_load(tilo_interstitial_ad* ad) {
  return Api::run(ad, [](auto& wrapper) { wrapper.load(); });
}
tilo_status tilo_interstitial_ad_show_from(tilo_interstitial_ad* ad,
                                           tilo_view_controller* view_controller) {
  return Api::showFrom(ad, view_controller);
}
int tilo_interstitial_ad_is_ready(tilo_interstitial_ad* ad) {
  return Api::isReady(ad);
}
int tilo_interstitial_ad_ad_info(tilo_interstitial_ad* ad, tilo_ad_info* info) {
  return Api::adInfo(ad, info);
}

}  // extern "C"
