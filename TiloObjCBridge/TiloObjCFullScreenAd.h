// The bridge's full-screen wrappers (rewarded, interstitial, app open): one ad unit, its
// SDK loader, the last loaded ad, and a C delegate that hears every callback on the main
// thread.
//
//   auto wrapper = TiloObjCRewardedAd::create("rewarded-main");
//   wrapper->setDelegate(delegate, context);   // a copy of the host's struct
//   wrapper->load();                           // did_load or did_fail_to_load follows
//   wrapper->show(viewController);             // -24 "Ad is not ready to show" before a load
//
// Every closure the wrapper installs holds it weakly and every delegate call is posted to
// the main loop, so a wrapper destroyed meanwhile (or from inside a callback) hears
// nothing more. `Kind` names the SDK classes, the C types and the format of one ad kind.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Tilo/base/TiloAdInfo.h"
#include "Tilo/base/TiloAdUnit.h"
#include "Tilo/base/TiloRevenueInfo.h"
#include "TiloObjCBridge/BridgeValues.h"
#include "TiloObjCBridge/HandleTable.h"
#include "TiloObjCBridge/TiloObjCHandleApi.h"
#include "TiloObjCBridge/TiloObjCWindow.h"
#include "platform/Environment.h"
#include "platform/ui/UIViewController.h"
#include "tilo/tilo.h"

namespace tilo::bridge {

template <class Kind>
class TiloObjCFullScreenAd final
    : public HandleObject,
      public DelegateTarget<typename Kind::Delegate, typename Kind::Handle>,
      public std::enable_shared_from_this<TiloObjCFullScreenAd<Kind>> {
 public:
  using Loader = typename Kind::Loader;
  using Ad = typename Kind::Ad;
  using Delegate = typename Kind::Delegate;
  using Handle = typename Kind::Handle;
  using Target = DelegateTarget<Delegate, Handle>;

  static std::shared_ptr<TiloObjCFullScreenAd> create(std::string adUnitId) {
    auto loader = Loader::create(TiloAdUnit{adUnitId, std::nullopt});
    return std::make_shared<TiloObjCFullScreenAd>(std::move(adUnitId), std::move(loader));
  }
  TiloObjCFullScreenAd(std::string adUnitId, std::shared_ptr<Loader> loader)
      : adUnitId_(std::move(adUnitId)), loader_(std::move(loader)) {}

  const std::string& adUnitId() const { return adUnitId_; }
  const std::shared_ptr<Ad>& loadedAd() const { return ad_; }
  void load() {
    auto weak = this->weak_from_this();
    auto& listener = *loader_->listener();
    listener.onAdLoadSuccess = [weak](std::shared_ptr<Ad> ad, std::optional<TiloAdInfo> info) {
      auto self = weak.lock();
      if (!self) return;
      self->ad_ = ad;
      self->watchRevenue(ad);
      self->post([info](const Delegate& d, void* context, Handle* handle) {
        if (d.did_load) d.did_load(context, handle, CAdInfo(info).get());
      });
    };
    listener.onAdLoadFail = [weak](const TiloError& error) {
      auto self = weak.lock();
      if (!self) return;
      self->post([error, unit = self->adUnitId_](const Delegate& d, void* context, Handle* handle) {
        if (!d.did_fail_to_load) return;
        const CError converted = CError::from(error, unit, Kind::kFormat);
        d.did_fail_to_load(context, handle, converted.get());
      });
    };
    listener.onAdClicked = [weak](std::optional<TiloAdInfo> info) {
      if (auto self = weak.lock()) self->postInfo(&Delegate::did_click, std::move(info));
    };
    listener.onAdImpression = [weak](std::optional<TiloAdInfo> info) {
      auto self = weak.lock();
      if (!self) return;
      self->postInfo(&Delegate::did_record_impression, std::move(info));
      self->impressionPosted_ = true;
      self->releaseAfterImpression();
    };
    loader_->load();
  }

  // Posts a delegate call that follows the shown ad's impression (its revenue, its reward).
  // The platform reports them in order, but the impression reaches the wrapper a main-loop
  // turn later (through the loader): they wait for it, in the crash bracket they came in.
  template <class Call>
  void postAfterImpression(Call call) {
    std::function<void()> send = [weak = this->weak_from_this(), bracket = currentAdCallback(),
                                  call = std::move(call)] {
      if (auto self = weak.lock()) Target::post(self, call, bracket);
    };
    if (impressionPosted_) return send();
    afterImpression_.push_back(std::move(send));
  }

  // Shows the loaded ad from `viewController` (ignored by app-open ads).
  void show(const std::shared_ptr<platform::UIViewController>& viewController) {
    if (!ad_) {
      post([](const Delegate& d, void* context, Handle* handle) {
        if (!d.did_fail_to_show) return;
        const CError error(TILO_ERROR_DOMAIN, TILO_ERROR_AD_NOT_READY, kAdNotReadyMessage);
        d.did_fail_to_show(context, handle, nullptr, error.get());
      });
      return;
    }
    impressionPosted_ = false;
    afterImpression_.clear();
    auto weak = this->weak_from_this();
    auto& display = Kind::display(*ad_);
    display.onShown = [weak](std::optional<TiloAdInfo> info) {
      if (auto self = weak.lock()) self->postInfo(&Delegate::did_show, std::move(info));
    };
    display.onDismiss = [weak](std::optional<TiloAdInfo> info) {
      auto self = weak.lock();
      if (!self) return;
      self->releaseAfterImpression();  // an ad closed before its impression held nothing back
      self->postInfo(&Delegate::did_dismiss, std::move(info));
    };
    display.onFailedToShow = [weak](std::optional<TiloAdInfo> info, const TiloError& error) {
      auto self = weak.lock();
      if (!self) return;
      self->post(
          [info, error, unit = self->adUnitId_](const Delegate& d, void* context, Handle* handle) {
            if (!d.did_fail_to_show) return;
            const CError converted = CError::from(error, unit, Kind::kFormat);
            d.did_fail_to_show(context, handle, CAdInfo(info).get(), converted.get());
          });
    };
    Kind::installReward(*this, *ad_);
    Kind::show(*ad_, viewController);
  }

  bool isReady() const { return ad_ && ad_->isReady(); }
  std::optional<TiloAdInfo> adInfo() const {
    if (!ad_) return std::nullopt;
    return ad_->adInfo();
  }
  // Storage for the info tilo_*_ad_info hands out, valid until the next call.
  std::optional<CAdInfo>& infoStorage() { return infoStorage_; }

  void willDestroy() override { Target::endDelegate(); }

  // Posts one delegate call to the main loop (see DelegateTarget::post).
  template <class Call>
  void post(Call call) {
    Target::post(this->shared_from_this(), std::move(call));
  }

 private:
  using InfoEntry = void (*Delegate::*)(void*, Handle*, const tilo_ad_info*);

  void postInfo(InfoEntry entry, std::optional<TiloAdInfo> info) {
    post([entry, info = std::move(info)](const Delegate& d, void* context, Handle* handle) {
      if (auto fn = d.*entry) fn(context, handle, CAdInfo(info).get());
    });
  }

  // Paid events reach the delegate too; what the loader installed (plugin forwarding)
  // keeps running first.
  void watchRevenue(const std::shared_ptr<Ad>& ad) {
    auto previous = ad->listener()->onAdInternalEvent;
    ad->listener()->onAdInternalEvent = [previous, weak = this->weak_from_this()](
                                            std::optional<TiloAdInfo> info,
                                            const TiloRevenueInfo& revenue) {
      if (previous) previous(info, revenue);
      auto self = weak.lock();
      if (!self) return;
      self->postAfterImpression([info, revenue](const Delegate& d, void* context, Handle* handle) {
        if (!d.did_pay) return;
        const CRevenue converted(revenue);
        d.did_pay(context, handle, CAdInfo(info).get(), converted.get());
      });
    };
  }

  void releaseAfterImpression() {
    for (auto& send : std::exchange(afterImpression_, {})) send();
  }

  const std::string adUnitId_;
  const std::shared_ptr<Loader> loader_;
  std::shared_ptr<Ad> ad_;
  bool impressionPosted_ = false;  // of the ad shown last
  std::vector<std::function<void()>> afterImpression_;
  std::optional<CAdInfo> infoStorage_;
};

// The C entry points every full-screen kind shares, on top of those of every handle kind.
// `Kind::kType` is its handle kind.
template <class Kind>
struct FullScreenApi : HandleApi<TiloObjCFullScreenAd<Kind>, typename Kind::Handle, Kind::kType> {
  using Base = HandleApi<TiloObjCFullScreenAd<Kind>, typename Kind::Handle, Kind::kType>;
  using Wrapper = TiloObjCFullScreenAd<Kind>;
  using Handle = typename Kind::Handle;
  using Delegate = typename Kind::Delegate;
  using Base::check;
  using Base::run;

  static Handle* create(const char* adUnitId) noexcept {
    return Base::create(checkIdentifier(adUnitId), [&] { return Wrapper::create(adUnitId); });
  }

  // Every entry of a full-screen delegate is optional.
  static tilo_status setDelegate(Handle* handle, const Delegate* delegate, void* context) noexcept {
    return Base::setDelegate(handle, delegate, context, [](const Delegate&) { return true; });
  }

  // Shown from a window's root view controller, or none (app open: always none). A shown
  // ad lays out and draws its screen, so the graphics libraries are checked first.
  static tilo_status showFrom(Handle* handle, tilo_view_controller* viewController) noexcept {
    if (auto [status, wrapper] = check(handle); status != TILO_STATUS_OK) return status;
    if (auto status = requireLibraries(platform::SystemFeature::graphics);
        status != TILO_STATUS_OK) {
      return status;
    }
    std::shared_ptr<platform::UIViewController> controller;
    if (auto status = findViewController(viewController, controller); status != TILO_STATUS_OK) {
      return status;
    }
    return run(handle, [&](auto& wrapper) { wrapper.show(controller); });
  }

  static int isReady(Handle* handle) noexcept {
    const auto checked = check(handle);
    if (checked.status != TILO_STATUS_OK) return checked.status;
    return guarded([&] { return checked.wrapper->isReady() ? 1 : 0; });
  }

  static int adInfo(Handle* handle, tilo_ad_info* out) noexcept {
    const auto checked = check(handle);
    if (checked.status != TILO_STATUS_OK) return checked.status;
    if (!out) return TILO_STATUS_NULL_ARGUMENT;
    if (out->struct_size < kAdInfoFirstSize) return TILO_STATUS_INVALID_ARGUMENT;
    const auto& wrapper = checked.wrapper;
    return guarded([&] {
      auto info = wrapper->adInfo();
      if (!info) return 0;
      wrapper->infoStorage().emplace(info);
      writeAdInfo(*wrapper->infoStorage()->get(), out);
      return 1;
    });
  }
};

}  // namespace tilo::bridge
