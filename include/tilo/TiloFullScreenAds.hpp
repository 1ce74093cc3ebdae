// Rewarded, interstitial and app-open ads.
// Part of the C++ API: hosts include <tilo/Tilo.hpp>, which includes this file.
#pragma once

#include <tilo/Tilo.hpp>

namespace tilo {

// What every full-screen ad kind reports; empty entries are skipped.
struct FullScreenAdDelegate {
  std::function<void(const std::optional<AdInfo>&)> didLoad;
  std::function<void(const Error&)> didFailToLoad;
  std::function<void(const std::optional<AdInfo>&)> didShow;
  // No info for a show before a load (code TILO_ERROR_AD_NOT_READY).
  std::function<void(const std::optional<AdInfo>&, const Error&)> didFailToShow;
  std::function<void(const std::optional<AdInfo>&)> didClick;
  std::function<void(const std::optional<AdInfo>&)> didRecordImpression;
  std::function<void(const std::optional<AdInfo>&)> didDismiss;
  std::function<void(const std::optional<AdInfo>&, const Revenue&)> didPay;
  // Rewarded ads only.
  std::function<void(const std::optional<AdInfo>&, const RewardedItem&)> didEarnReward;
};

namespace detail {

// One full-screen kind over its C functions. `Api` supplies the handle and delegate types
// and the functions; `Derived` is the public class, which create() makes.
template <class Derived, class Api>
class FullScreenAd : public OwnedHandle<Derived, Api, FullScreenAdDelegate> {
  using Base = OwnedHandle<Derived, Api, FullScreenAdDelegate>;

 public:
  using Delegate = FullScreenAdDelegate;
  using Handle = typename Api::Handle;

  // A new ad for `adUnitId`, or why it was refused (an empty or non-UTF-8 id, another
  // thread than the main one, a bundle that cannot start the SDK).
  [[nodiscard]] static Expected<Derived> create(const std::string& adUnitId) {
    return Base::adopt(Api::create(adUnitId.c_str()), &fill);
  }

  [[nodiscard]] tilo_status load() { return Api::load(this->handle()); }
  // 1 or 0, or a negative tilo_status.
  [[nodiscard]] int isReady() const { return Api::isReady(this->handle()); }
  // Empty before a load.
  std::optional<AdInfo> adInfo() const {
    tilo_ad_info info{};
    info.struct_size = sizeof info;
    if (Api::adInfo(this->handle(), &info) != 1) return std::nullopt;
    return convert(&info);
  }

 private:
  static void fill(typename Api::CDelegate& c) {
    c.did_load = [](void* s, Handle*, const tilo_ad_info* info) {
      if (auto fn = Base::delegate(s).didLoad) fn(convert(info));
    };
    c.did_fail_to_load = [](void* s, Handle*, const tilo_error* error) {
      if (auto fn = Base::delegate(s).didFailToLoad) fn(convert(*error));
    };
    c.did_show = [](void* s, Handle*, const tilo_ad_info* info) {
      if (auto fn = Base::delegate(s).didShow) fn(convert(info));
    };
    c.did_fail_to_show = [](void* s, Handle*, const tilo_ad_info* info, const tilo_error* error) {
      if (auto fn = Base::delegate(s).didFailToShow) fn(convert(info), convert(*error));
    };
    c.did_click = [](void* s, Handle*, const tilo_ad_info* info) {
      if (auto fn = Base::delegate(s).didClick) fn(convert(info));
    };
    c.did_record_impression = [](void* s, Handle*, const tilo_ad_info* info) {
      if (auto fn = Base::delegate(s).didRecordImpression) fn(convert(info));
    };
    c.did_dismiss = [](void* s, Handle*, const tilo_ad_info* info) {
      if (auto fn = Base::delegate(s).didDismiss) fn(convert(info));
    };
    c.did_pay = [](void* s, Handle*, const tilo_ad_info* info, const tilo_revenue* revenue) {
      if (auto fn = Base::delegate(s).didPay) {
        fn(convert(info), Revenue{revenue->value, revenue->currency_code, revenue->precision});
      }
    };
    Api::installReward(c);
  }
};

struct RewardedApi {
  using Handle = tilo_rewarded_ad;
  using CDelegate = tilo_rewarded_ad_delegate;
  static Handle* create(const char* unit) { return tilo_rewarded_ad_create(unit); }
  static tilo_status destroy(Handle* h) { return tilo_rewarded_ad_destroy(h); }
  static tilo_status setDelegate(Handle* h, const CDelegate* d, void* c) {
    return tilo_rewarded_ad_set_delegate(h, d, c);
  }
  static tilo_status load(Handle* h) { return tilo_rewarded_ad_load(h); }
  static int isReady(Handle* h) { return tilo_rewarded_ad_is_ready(h); }
  static int adInfo(Handle* h, tilo_ad_info* i) { return tilo_rewarded_ad_ad_info(h, i); }
  static void installReward(CDelegate& c) {
    c.did_earn_reward = [](void* s, Handle*, const tilo_ad_info* info,
                           const tilo_rewarded_item* item) {
      if (auto fn = delegateIn<FullScreenAdDelegate>(s).didEarnReward) {
        fn(convert(info), RewardedItem{item->amount, item->reward_type});
      }
    };
  }
};

struct InterstitialApi {
  using Handle = tilo_interstitial_ad;
  using CDelegate = tilo_interstitial_ad_delegate;
  static Handle* create(const char* unit) { return tilo_interstitial_ad_create(unit); }
  static tilo_status destroy(Handle* h) { return tilo_interstitial_ad_destroy(h); }
  static tilo_status setDelegate(Handle* h, const CDelegate* d, void* c) {
    return tilo_interstitial_ad_set_delegate(h, d, c);
  }
  static tilo_status load(Handle* h) { return tilo_interstitial_ad_load(h); }
  static int isReady(Handle* h) { return tilo_interstitial_ad_is_ready(h); }
  static int adInfo(Handle* h, tilo_ad_info* i) { return tilo_interstitial_ad_ad_info(h, i); }
  static void installReward(CDelegate&) {}
};

struct AppOpenApi {
  using Handle = tilo_app_open_ad;
  using CDelegate = tilo_app_open_ad_delegate;
  static Handle* create(const char* unit) { return tilo_app_open_ad_create(unit); }
  static tilo_status destroy(Handle* h) { return tilo_app_open_ad_destroy(h); }
  static tilo_status setDelegate(Handle* h, const CDelegate* d, void* c) {
    return tilo_app_open_ad_set_delegate(h, d, c);
  }
  static tilo_status load(Handle* h) { return tilo_app_open_ad_load(h); }
  static int isReady(Handle* h) { return tilo_app_open_ad_is_ready(h); }
  static int adInfo(Handle* h, tilo_ad_info* i) { return tilo_app_open_ad_ad_info(h, i); }
  static void installReward(CDelegate&) {}
};

}  // namespace detail

// Main thread only, like every ad object. Made by create(); see FullScreenAd for the rest.
class RewardedAd : public detail::FullScreenAd<RewardedAd, detail::RewardedApi> {
 public:
  // `window` may be null (no view controller).
  [[nodiscard]] tilo_status showFrom(const Window* window) {
    return tilo_rewarded_ad_show_from(handle(), window ? window->rootViewController() : nullptr);
  }
  [[nodiscard]] tilo_status setPlacement(const std::string& placement) {
    return tilo_rewarded_ad_set_placement(handle(), placement.c_str());
  }
  [[nodiscard]] tilo_status setCustomData(const std::string& customData) {
    return tilo_rewarded_ad_set_custom_data(handle(), customData.c_str());
  }
};

class InterstitialAd : public detail::FullScreenAd<InterstitialAd, detail::InterstitialApi> {
 public:
  [[nodiscard]] tilo_status showFrom(const Window* window) {
    return tilo_interstitial_ad_show_from(handle(),
                                          window ? window->rootViewController() : nullptr);
  }
};

class AppOpenAd : public detail::FullScreenAd<AppOpenAd, detail::AppOpenApi> {
 public:
  [[nodiscard]] tilo_status show() { return tilo_app_open_ad_show(handle()); }
};

}  // namespace tilo
