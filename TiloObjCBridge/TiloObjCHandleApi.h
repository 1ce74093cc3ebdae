// What the view, light popup and native ad wrappers share with each other: a copied C delegate
// whose calls are posted to the main loop, and the checked C entry points of one handle kind.
//
//   class TiloObjCLightPopupAd : public HandleObject,
//                                public DelegateTarget<tilo_light_popup_ad_delegate,
//                                                      tilo_light_popup_ad> { ... };
//   DelegateTarget<...>::post(self, [info](const auto& d, void* context, auto* handle) {
//     d.did_show(context, handle, CAdInfo(info).get());
//   });
//   using Api = HandleApi<TiloObjCLightPopupAd, tilo_light_popup_ad,
//                         HandleType::lightPopupAd>;
//   return Api::run(ad, [](TiloObjCLightPopupAd& wrapper) { ... });
//
// Posting keeps the C rule that callbacks run inside tilo_run_main_loop_for, never inside
// another C call (a tap, a placement), so a host may destroy the handle from any callback.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>

#include "Tilo/telemetry/AdCallbackMarker.h"
#include "TiloObjCBridge/BridgeValues.h"
#include "TiloObjCBridge/HandleTable.h"
#include "platform/Environment.h"
#include "tilo/tilo.h"

namespace tilo::bridge {

// The size each struct a host hands in had in its first release: the least a host may
// declare. Members are only ever added at the end, so a size from there up is a host built
// against that release or a later one. A new struct adds its line here.
template <class Struct>
inline constexpr std::size_t kFirstReleasedSize = Struct::no_first_released_size_declared;
#define TILO_FIRST_RELEASED_SIZE(Struct, lastMember)        \
  template <>                                               \
  inline constexpr std::size_t kFirstReleasedSize<Struct> = \
      offsetof(Struct, lastMember) + sizeof(Struct::lastMember)
TILO_FIRST_RELEASED_SIZE(tilo_rewarded_ad_delegate, did_pay);
TILO_FIRST_RELEASED_SIZE(tilo_interstitial_ad_delegate, did_pay);
TILO_FIRST_RELEASED_SIZE(tilo_app_open_ad_delegate, did_pay);
TILO_FIRST_RELEASED_SIZE(tilo_banner_view_delegate, did_pay);
TILO_FIRST_RELEASED_SIZE(tilo_native_view_delegate, did_pay);
TILO_FIRST_RELEASED_SIZE(tilo_line_banner_view_delegate, did_pay);
TILO_FIRST_RELEASED_SIZE(tilo_light_popup_ad_loader_delegate, did_pay);
TILO_FIRST_RELEASED_SIZE(tilo_light_popup_ad_delegate, did_fail_to_show);
TILO_FIRST_RELEASED_SIZE(tilo_native_ad_loader_delegate, did_pay);
TILO_FIRST_RELEASED_SIZE(tilo_native_asset_layout, call_to_action);
#undef TILO_FIRST_RELEASED_SIZE

// Copies a host's struct that starts with its `size`: the bytes it declares, up to what this
// version knows; members it lacks (an older host's) stay zero, that is absent. Nothing past
// the host's size is read. False, and `out` untouched, below the first release's size.
template <class Struct>
bool readHostStruct(const Struct* in, Struct& out) {
  std::size_t size = 0;
  std::memcpy(&size, in, sizeof size);  // every such struct starts with it
  if (size < kFirstReleasedSize<Struct>) return false;
  out = Struct{};
  std::memcpy(static_cast<void*>(&out), in, std::min(size, sizeof(Struct)));
  out.size = sizeof(Struct);
  return true;
}

template <class Delegate, class Handle>
class DelegateTarget {
 public:
  void setHandle(Handle* handle) { handle_ = handle; }
  Handle* handle() const { return handle_; }

  // Copies the entries this version knows (the caller checked the struct). NULL clears.
  void setDelegate(const Delegate* delegate, void* context) {
    delegate_ = Delegate{};
    if (delegate) delegate_ = *delegate;
    delegate_.size = sizeof(Delegate);
    context_ = delegate ? context : nullptr;
  }
  // The host destroyed the handle: nothing reaches it from now on.
  void endDelegate() {
    ended_ = true;
    delegate_ = Delegate{};
    context_ = nullptr;
  }
  bool ended() const { return ended_; }
  const Delegate& delegate() const { return delegate_; }
  void* context() const { return context_; }

  // Runs call(delegate, context, handle) on the main loop if `self` still lives then and
  // its handle has not been destroyed, with the delegate as it stands at that moment.
  // Posted from inside an SDK listener call that runs in an ad-callback crash bracket, the
  // host's call runs in the same bracket (phase and ad), so that a host crashing in its
  // C callback is reported at the next start like one crashing in a C++ listener.
  template <class Self, class Call>
  static void post(const std::shared_ptr<Self>& self, Call call,
                   std::optional<AdCallbackBracket> bracket = currentAdCallback()) {
    std::weak_ptr<Self> weak = self;
    platform::postToMain([weak, bracket = std::move(bracket), call = std::move(call)]() mutable {
      auto strong = weak.lock();
      if (!strong) return;
      DelegateTarget& target = *strong;
      if (target.ended_) return;
      const Delegate delegate = target.delegate_;  // the call may replace or clear it
      HostCallbackScope inCallback;
      if (!bracket) return call(delegate, target.context_, target.handle_);
      withAdCallbackMarker(bracket->phase, bracket->adInfo,
                           [&] { call(delegate, target.context_, target.handle_); });
    });
  }

 private:
  Handle* handle_ = nullptr;
  Delegate delegate_{};
  void* context_ = nullptr;
  bool ended_ = false;
};

// A loader of ads the host owns (light popups, native ads): each loaded ad reaches did_load
// as a new handle, and the SDK loader's failures, clicks and impressions reach the loader's
// delegate. `Self` is the wrapper, shared and weakly referable.
template <class Self, class Delegate, class Handle>
class AdLoaderTarget : public DelegateTarget<Delegate, Handle> {
 protected:
  using Base = DelegateTarget<Delegate, Handle>;
  using InfoEntry = void (*Delegate::*)(void*, Handle*, const tilo_ad_info*);

  template <class Listener>
  void forwardEvents(Listener& listener, const char* domain, const std::string& unitId) {
    std::weak_ptr<Self> weak = static_cast<Self&>(*this).weak_from_this();
    listener.onAdLoadFail = [weak, domain, unitId](const TiloError& error) {
      auto self = weak.lock();
      if (!self) return;
      Base::post(self, [message = hostMessage(error), domain, unitId](
                           const Delegate& d, void* context, Handle* handle) {
        if (!d.did_fail_with_error) return;
        const CError converted(domain, TILO_ERROR_VIEW_FAILED, message, unitId);
        d.did_fail_with_error(context, handle, converted.get());
      });
    };
    listener.onAdClicked = [weak](std::optional<TiloAdInfo> info) {
      if (auto self = weak.lock()) self->postInfo(&Delegate::did_click, std::move(info));
    };
    listener.onAdImpression = [weak](std::optional<TiloAdInfo> info) {
      if (auto self = weak.lock())
        self->postInfo(&Delegate::did_record_impression, std::move(info));
    };
  }

  void postInfo(InfoEntry entry, std::optional<TiloAdInfo> info) {
    Base::post(static_cast<Self&>(*this).shared_from_this(),
               [entry, info = std::move(info)](const Delegate& d, void* context, Handle* handle) {
                 if (auto fn = d.*entry) fn(context, handle, CAdInfo(info).get());
               });
  }

  // Hands the ad's handle (of `type`, already in the handle table) to did_load on the main
  // loop, in the SDK listener's crash bracket as every posted call; a handle nobody receives
  // (loader destroyed meanwhile, delegate cleared) is released again.
  template <class AdHandle>
  void deliver(void* adHandle, HandleType type, std::optional<TiloAdInfo> info) {
    std::weak_ptr<Self> weak = static_cast<Self&>(*this).weak_from_this();
    platform::postToMain([weak, adHandle, type, info, bracket = currentAdCallback()] {
      auto self = weak.lock();
      if (self && !self->ended()) {
        // Required entry: set_delegate refuses a delegate without it.
        const Delegate d = self->delegate();
        if (d.did_load) {
          auto call = [&] {
            d.did_load(self->context(), self->handle(), static_cast<AdHandle*>(adHandle),
                       CAdInfo(info).get());
          };
          if (!bracket) return call();
          return withAdCallbackMarker(bracket->phase, bracket->adInfo, call);
        }
      }
      HandleTable::shared().remove(adHandle, type);
    });
  }
};

// Whether a kind reaches cairo and pango as soon as it loads (views lay out their text,
// popups and engine-drawn natives decode their pictures), so its creation checks them.
// Full-screen ads draw only when shown, which checks then.
constexpr bool drawsFromLoad(HandleType type) {
  switch (type) {
    case HandleType::bannerView:
    case HandleType::nativeView:
    case HandleType::lineBannerView:
    case HandleType::lightPopupAdLoader:
    case HandleType::nativeAdLoader:
      return true;
    default:
      return false;
  }
}

// The C entry points every wrapper kind shares. `Wrapper` is a HandleObject and a
// DelegateTarget<Delegate, Handle>; `hasRequired` says whether a delegate sets every
// required entry.
template <class Wrapper, class Handle, HandleType kType>
struct HandleApi {
  struct Checked {
    tilo_status status;
    std::shared_ptr<Wrapper> wrapper;
  };
  static Checked check(const Handle* handle) {
    if (auto life = lifeStatus(); life != TILO_STATUS_OK) return {life, nullptr};
    if (!onMainThread()) return {TILO_STATUS_WRONG_THREAD, nullptr};
    auto found = HandleTable::shared().find(handle, kType);
    return {found.status, std::static_pointer_cast<Wrapper>(found.object)};
  }

  // Registers what `make` builds; NULL and tilo_last_status on failure (with
  // TILO_STATUS_NOT_CONFIGURED, the reason in tilo_last_error_message).
  template <class Make>
  static Handle* create(tilo_status status, Make&& make) noexcept {
    if (auto life = lifeStatus(); life != TILO_STATUS_OK) status = life;
    if (status == TILO_STATUS_OK && !onMainThread()) status = TILO_STATUS_WRONG_THREAD;
    if (status == TILO_STATUS_OK) status = ensureSdk();  // every ad kind needs the SDK
    // Views and popups lay out text and draw from their first load, window or not.
    if (status == TILO_STATUS_OK && drawsFromLoad(kType)) {
      status = requireLibraries(platform::SystemFeature::graphics);
    }
    if (status != TILO_STATUS_OK) {
      setLastStatus(status);
      return nullptr;
    }
    try {
      std::shared_ptr<Wrapper> wrapper = make();
      auto* handle = static_cast<Handle*>(HandleTable::shared().insert(kType, wrapper));
      if (!handle) {
        setLastStatus(TILO_STATUS_INTERNAL_ERROR);
        return nullptr;
      }
      wrapper->setHandle(handle);
      setLastStatus(TILO_STATUS_OK);
      return handle;
    } catch (...) {
      setLastStatus(TILO_STATUS_INTERNAL_ERROR);
      return nullptr;
    }
  }

  static tilo_status destroy(Handle* handle) noexcept {
    if (auto life = lifeStatus(); life != TILO_STATUS_OK) return life;
    if (!onMainThread()) return TILO_STATUS_WRONG_THREAD;
    auto found = HandleTable::shared().remove(handle, kType);
    if (found.object) {
      guarded([&] {
        found.object->willDestroy();
        return TILO_STATUS_OK;
      });
    }
    return found.status;
  }

  template <class Delegate, class Required>
  static tilo_status setDelegate(Handle* handle, const Delegate* delegate, void* context,
                                 Required&& hasRequired) noexcept {
    auto [status, wrapper] = check(handle);
    if (status != TILO_STATUS_OK) return status;
    if (!delegate) {
      wrapper->setDelegate(nullptr, context);
      return TILO_STATUS_OK;
    }
    Delegate copy;
    if (!readHostStruct(delegate, copy)) return TILO_STATUS_DELEGATE_TOO_SMALL;
    if (!hasRequired(copy)) return TILO_STATUS_MISSING_CALLBACK;
    wrapper->setDelegate(&copy, context);
    return TILO_STATUS_OK;
  }

  template <class Body>
  static tilo_status run(Handle* handle, Body&& body) noexcept {
    const auto checked = check(handle);
    if (checked.status != TILO_STATUS_OK) return checked.status;
    return guarded([&] {
      body(*checked.wrapper);
      return TILO_STATUS_OK;
    });
  }
};

}  // namespace tilo::bridge
