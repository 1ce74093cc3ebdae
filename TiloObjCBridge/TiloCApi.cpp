// The C ABI over the C++ SDK. Every entry point catches everything, so no exception
// reaches a C caller; callbacks get C views of the SDK's values that live for one call.
#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Tilo/ads/TiloInterstitialAdLoader.h"
#include "Tilo/ads/TiloRewardedAdLoader.h"
#include "Tilo/core/TiloAds.h"
#include "Tilo/core/TiloLogger.h"
#include "TiloObjCBridge/tilo.h"
#include "platform/Device.h"
#include "platform/MainLoop.h"

struct tilo_interstitial_loader {
  std::shared_ptr<tilo::TiloInterstitialAdLoader> loader;
};
struct tilo_interstitial_ad {
  std::shared_ptr<tilo::TiloInterstitialAd> ad;
};
struct tilo_rewarded_loader {
  std::shared_ptr<tilo::TiloRewardedAdLoader> loader;
};
struct tilo_rewarded_ad {
  std::shared_ptr<tilo::TiloRewardedAd> ad;
};

namespace {

using tilo::TiloAdInfo;
using tilo::TiloError;

template <class Body>
tilo_status guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return TILO_STATUS_INTERNAL_ERROR;
  }
}

// A tilo_ad_info and the strings it points into, for the duration of one callback.
class CAdInfo {
 public:
  explicit CAdInfo(const std::optional<TiloAdInfo>& info) {
    if (!info) return;
    format_ = tilo::rawValue(info->adFormat);
    unitId_ = info->adUnitId;
    network_ = info->adNetwork;
    info_ = {format_.c_str(), unitId_.c_str(), info->latency.value_or(-1),
             network_ ? network_->c_str() : nullptr};
    present_ = true;
  }
  const tilo_ad_info* get() const { return present_ ? &info_ : nullptr; }

 private:
  std::string format_, unitId_;
  std::optional<std::string> network_;
  tilo_ad_info info_{};
  bool present_ = false;
};

tilo_error cError(const TiloError& error) {
  return {static_cast<int>(error.code()), error.message().c_str()};
}

// Closures that call a C function pointer; empty when the pointer is NULL so the SDK
// skips them like any unset closure.
using InfoFn = void (*)(void*, const tilo_ad_info*);
std::function<void(std::optional<TiloAdInfo>)> infoClosure(InfoFn fn, void* context) {
  if (!fn) return nullptr;
  return [fn, context](std::optional<TiloAdInfo> info) { fn(context, CAdInfo(info).get()); };
}
using FailToShowFn = void (*)(void*, const tilo_ad_info*, const tilo_error*);
std::function<void(std::optional<TiloAdInfo>, const TiloError&)> failToShowClosure(FailToShowFn fn,
                                                                                   void* context) {
  if (!fn) return nullptr;
  return [fn, context](std::optional<TiloAdInfo> info, const TiloError& error) {
    const tilo_error c = cError(error);
    fn(context, CAdInfo(info).get(), &c);
  };
}

// What differs between the two ad kinds.
struct Interstitial {
  using LoaderHandle = tilo_interstitial_loader;
  using AdHandle = tilo_interstitial_ad;
  using Loader = tilo::TiloInterstitialAdLoader;
  using Ad = tilo::TiloInterstitialAd;
  using Callbacks = tilo_interstitial_callbacks;
  static tilo::TiloDisplayListener& display(Ad& ad) { return *ad.interstitialListener(); }
  static void installReward(Ad&, const Callbacks&, void*) {}
  static void clearReward(Ad&) {}
};

struct Rewarded {
  using LoaderHandle = tilo_rewarded_loader;
  using AdHandle = tilo_rewarded_ad;
  using Loader = tilo::TiloRewardedAdLoader;
  using Ad = tilo::TiloRewardedAd;
  using Callbacks = tilo_rewarded_callbacks;
  static tilo::TiloDisplayListener& display(Ad& ad) { return *ad.rewardedAdListener(); }
  static void installReward(Ad& ad, const Callbacks& callbacks, void* context) {
    ad.rewardedAdListener()->onEarnedReward = nullptr;
    auto fn = callbacks.on_earned_reward;
    if (!fn) return;
    ad.rewardedAdListener()->onEarnedReward =
        [fn, context](std::optional<TiloAdInfo> info, std::optional<tilo::TiloRewardedItem> item) {
          const tilo_reward reward =
              item ? tilo_reward{item->amount, item->rewardType.c_str()} : tilo_reward{0, nullptr};
          fn(context, CAdInfo(info).get(), item ? &reward : nullptr);
        };
  }
  static void clearReward(Ad& ad) { ad.rewardedAdListener()->onEarnedReward = nullptr; }
};

template <class Kind>
typename Kind::LoaderHandle* createLoader(const char* unitId) noexcept {
  if (!unitId) return nullptr;
  try {
    auto loader = Kind::Loader::create(tilo::TiloAdUnit{unitId, std::nullopt});
    return new typename Kind::LoaderHandle{std::move(loader)};
  } catch (...) {
    return nullptr;
  }
}

template <class Kind>
tilo_status load(typename Kind::LoaderHandle* handle, const typename Kind::Callbacks* callbacks,
                 void* context) noexcept {
  if (!handle || !callbacks) return TILO_STATUS_INVALID_ARGUMENT;
  return guarded([&] {
    const typename Kind::Callbacks c = *callbacks;
    auto& listener = *handle->loader->listener();
    // The ad gets its display callbacks even when the host takes no handle: a load replaces
    // the loader's callbacks, never those of ads already delivered.
    listener.onAdLoadSuccess = [c, context](std::shared_ptr<typename Kind::Ad> ad,
                                            std::optional<TiloAdInfo> info) {
      auto& display = Kind::display(*ad);
      display.onShown = infoClosure(c.on_shown, context);
      display.onFailedToShow = failToShowClosure(c.on_failed_to_show, context);
      display.onDismiss = infoClosure(c.on_dismiss, context);
      Kind::installReward(*ad, c, context);
      if (c.on_load_success) {
        c.on_load_success(context, new typename Kind::AdHandle{ad}, CAdInfo(info).get());
      }
    };
    listener.onAdLoadFail = nullptr;
    if (auto fn = c.on_load_fail) {
      listener.onAdLoadFail = [fn, context](const TiloError& error) {
        const tilo_error e = cError(error);
        fn(context, &e);
      };
    }
    listener.onAdImpression = infoClosure(c.on_impression, context);
    listener.onAdClicked = infoClosure(c.on_clicked, context);
    handle->loader->load();
    return TILO_STATUS_OK;
  });
}

// Loads in flight and the delivered ads hold the loader weakly: once it is gone, none of
// its closures runs again.
template <class Kind>
void destroyLoader(typename Kind::LoaderHandle* handle) noexcept {
  delete handle;
}

template <class Kind>
int isReady(const typename Kind::AdHandle* handle) noexcept {
  if (!handle) return TILO_STATUS_INVALID_ARGUMENT;
  try {
    return handle->ad->isReady() ? 1 : 0;
  } catch (...) {
    return TILO_STATUS_INTERNAL_ERROR;
  }
}

template <class Kind>
tilo_status show(typename Kind::AdHandle* handle) noexcept {
  if (!handle) return TILO_STATUS_INVALID_ARGUMENT;
  return guarded([&] {
    handle->ad->show();
    return TILO_STATUS_OK;
  });
}

template <class Kind>
void destroyAd(typename Kind::AdHandle* handle) noexcept {
  if (!handle) return;
  try {
    // The loader may keep the ad alive as its last one; its callbacks must still stop.
    auto& display = Kind::display(*handle->ad);
    display.onShown = nullptr;
    display.onFailedToShow = nullptr;
    display.onDismiss = nullptr;
    Kind::clearReward(*handle->ad);
  } catch (...) {
  }
  delete handle;
}

tilo_status setOptionalBool(int value,
                            void (tilo::TiloAds::*setter)(std::optional<bool>)) noexcept {
  if (value != TILO_UNSET && value != TILO_NO && value != TILO_YES) {
    return TILO_STATUS_INVALID_ARGUMENT;
  }
  return guarded([&] {
    (tilo::TiloAds::shared().*setter)(value == TILO_UNSET ? std::nullopt
                                                          : std::optional(value == TILO_YES));
    return TILO_STATUS_OK;
  });
}

tilo_status setOptionalString(const char* value,
                              void (tilo::TiloAds::*setter)(std::optional<std::string>)) noexcept {
  return guarded([&] {
    (tilo::TiloAds::shared().*setter)(value ? std::optional<std::string>(value) : std::nullopt);
    return TILO_STATUS_OK;
  });
}

}  // namespace

extern "C" {

tilo_status tilo_set_log_level(int level) {
  auto parsed = tilo::tiloLogLevelFromRawValue(level);
  if (!parsed) return TILO_STATUS_INVALID_ARGUMENT;
  // The logger's level, not TiloAds: setting it must not build the SDK, so that the
  // lines of its construction show.
  tilo::setCurrentLogLevel(*parsed);
  return TILO_STATUS_OK;
}

tilo_status tilo_set_user_id(const char* user_id) {
  return setOptionalString(user_id, &tilo::TiloAds::setUserId);
}
tilo_status tilo_set_has_user_consent(int value) {
  return setOptionalBool(value, &tilo::TiloAds::setHasUserConsent);
}
tilo_status tilo_set_do_not_sell(int value) {
  return setOptionalBool(value, &tilo::TiloAds::setDoNotSell);
}
tilo_status tilo_set_child_directed(int value) {
  return setOptionalBool(value, &tilo::TiloAds::setIsTaggedForChildDirectedTreatment);
}
tilo_status tilo_set_gdpr_consent_string(const char* value) {
  return setOptionalString(value, &tilo::TiloAds::setGdprConsentString);
}
tilo_status tilo_set_ccpa_string(const char* value) {
  return setOptionalString(value, &tilo::TiloAds::setCcpaString);
}

tilo_status tilo_set_tracking_authorization(int status) {
  using Status = tilo::platform::TrackingAuthorizationStatus;
  if (status < static_cast<int>(Status::notDetermined) ||
      status > static_cast<int>(Status::authorized)) {
    return TILO_STATUS_INVALID_ARGUMENT;
  }
  return guarded([&] {
    tilo::platform::setTrackingAuthorizationStatus(static_cast<Status>(status));
    return TILO_STATUS_OK;
  });
}

tilo_status tilo_initialize(tilo_initialize_callback callback, void* context) {
  return guarded([&] {
    tilo::TiloAds::shared().initialized([callback, context](std::optional<TiloError> error) {
      if (!callback) return;
      if (!error) return callback(context, nullptr);
      const tilo_error c = cError(*error);
      callback(context, &c);
    });
    return TILO_STATUS_OK;
  });
}

tilo_status tilo_run_main_loop_for(double seconds) {
  if (!std::isfinite(seconds) || seconds < 0) return TILO_STATUS_INVALID_ARGUMENT;
  return guarded([&] {
    tilo::platform::MainLoop::shared()->runFor(seconds);
    return TILO_STATUS_OK;
  });
}

tilo_interstitial_loader* tilo_interstitial_loader_create(const char* unit_id) {
  return createLoader<Interstitial>(unit_id);
}
void tilo_interstitial_loader_destroy(tilo_interstitial_loader* loader) {
  destroyLoader<Interstitial>(loader);
}
tilo_status tilo_interstitial_loader_load(tilo_interstitial_loader* loader,
                                          const tilo_interstitial_callbacks* callbacks,
                                          void* context) {
  return load<Interstitial>(loader, callbacks, context);
}
int tilo_interstitial_ad_is_ready(const tilo_interstitial_ad* ad) {
  return isReady<Interstitial>(ad);
}
tilo_status tilo_interstitial_ad_show(tilo_interstitial_ad* ad) {
  return show<Interstitial>(ad);
}
void tilo_interstitial_ad_destroy(tilo_interstitial_ad* ad) {
  destroyAd<Interstitial>(ad);
}

tilo_rewarded_loader* tilo_rewarded_loader_create(const char* unit_id) {
  return createLoader<Rewarded>(unit_id);
}
void tilo_rewarded_loader_destroy(tilo_rewarded_loader* loader) {
  destroyLoader<Rewarded>(loader);
}
tilo_status tilo_rewarded_loader_load(tilo_rewarded_loader* loader,
                                      const tilo_rewarded_callbacks* callbacks, void* context) {
  return load<Rewarded>(loader, callbacks, context);
}
int tilo_rewarded_ad_is_ready(const tilo_rewarded_ad* ad) {
  return isReady<Rewarded>(ad);
}
tilo_status tilo_rewarded_ad_show(tilo_rewarded_ad* ad) {
  return show<Rewarded>(ad);
}
void tilo_rewarded_ad_destroy(tilo_rewarded_ad* ad) {
  destroyAd<Rewarded>(ad);
}

}  // extern "C"
