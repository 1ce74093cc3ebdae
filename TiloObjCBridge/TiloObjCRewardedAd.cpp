// tilo_rewarded_ad: the rewarded wrapper, with rewards, placement and custom data.
#include "Tilo/ads/TiloRewardedAdLoader.h"
#include "TiloObjCBridge/TiloObjCFullScreenAd.h"

namespace tilo::bridge {
namespace {

struct RewardedKind {
  using Loader = TiloRewardedAdLoader;
  using Ad = TiloRewardedAd;
  using Delegate = tilo_rewarded_ad_delegate;
  using Handle = tilo_rewarded_ad;
  static constexpr HandleType kType = HandleType::rewardedAd;
  static constexpr std::int64_t kFormat = TILO_AD_FORMAT_REWARDED;

  static TiloDisplayListener& display(Ad& ad) { return *ad.rewardedAdListener(); }
  static void installReward(TiloObjCFullScreenAd<RewardedKind>& wrapper, Ad& ad) {
    ad.rewardedAdListener()->onEarnedReward = [weak = wrapper.weak_from_this()](
                                                  std::optional<TiloAdInfo> info,
                                                  std::optional<TiloRewardedItem> item) {
      auto self = weak.lock();
      if (!self) return;
      self->postAfterImpression([info, item](const Delegate& d, void* context, Handle* handle) {
        if (!d.did_earn_reward) return;
        std::optional<CRewardedItem> converted;
        if (item) converted.emplace(*item);
        d.did_earn_reward(context, handle, CAdInfo(info).get(),
                          converted ? converted->get() : nullptr);
      });
    };
  }
  static void show(Ad& ad, const std::shared_ptr<platform::UIViewController>& viewController) {
    ad.show(viewController);
  }
};

using Api = FullScreenApi<RewardedKind>;

}  // namespace
}  // namespace tilo::bridge

using tilo::bridge::Api;

extern "C" {

tilo_rewarded_ad* tilo_rewarded_ad_create(const char* ad_unit_id) {
  return Api::create(ad_unit_id);
}
tilo_status tilo_rewarded_ad_destroy(tilo_rewarded_ad* ad) {
  return Api::destroy(ad);
}
tilo_status tilo_rewarded_ad_set_delegate(tilo_rewarded_ad* ad,
                                          const tilo_rewarded_ad_delegate* delegate,
                                          void* context) {
  return Api::setDelegate(ad, delegate, context);
}
tilo_status tilo_rewarded_ad_load(tilo_rewarded_ad* ad) {
  return Api::run(ad, [](auto& wrapper) { wrapper.load(); });
}
tilo_status tilo_rewarded_ad_show_from(tilo_rewarded_ad* ad,
                                       tilo_view_controller* view_controller) {
  return Api::showFrom(ad, view_controller);
}
int tilo_rewarded_ad_is_ready(tilo_rewarded_ad* ad) {
  return Api::isReady(ad);
}
int tilo_rewarded_ad_ad_info(tilo_rewarded_ad* ad, tilo_ad_info* info) {
  return Api::adInfo(ad, info);
}
tilo_status tilo_rewarded_ad_set_placement(tilo_rewarded_ad* ad, const char* placement) {
  if (auto [status, wrapper] = Api::check(ad); status != TILO_STATUS_OK) return status;
  if (auto status = tilo::bridge::checkString(placement, false); status != TILO_STATUS_OK) {
    return status;
  }
  return Api::run(ad, [&](auto& wrapper) {
    if (auto& loaded = wrapper.loadedAd()) loaded->setPlacement(placement);
  });
}
tilo_status tilo_rewarded_ad_set_custom_data(tilo_rewarded_ad* ad, const char* custom_data) {
  if (auto [status, wrapper] = Api::check(ad); status != TILO_STATUS_OK) return status;
  if (auto status = tilo::bridge::checkString(custom_data, false); status != TILO_STATUS_OK) {
    return status;
  }
  return Api::run(ad, [&](auto& wrapper) {
    if (auto& loaded = wrapper.loadedAd()) loaded->setCustomData(custom_data);
  });
}

}  // extern "C"
