// Banner, native and line banner views, and the light popup.
// Part of the C++ API: hosts include <tilo/Tilo.hpp>, which includes this file.
#pragma once

#include <tilo/Tilo.hpp>

namespace tilo {

// What every view kind and the light popup loader report; empty entries are skipped.
template <class Loaded>
struct ViewDelegate {
  Loaded didLoad;
  std::function<void(const Error&)> didFailWithError;
  std::function<void(const std::optional<AdInfo>&)> didClick;
  std::function<void(const std::optional<AdInfo>&)> didRecordImpression;
  std::function<void(const std::optional<AdInfo>&, const Revenue&)> didPay;
};

namespace detail {

// One view kind (or the light popup loader) over its C functions: the delegate is kept in
// a state object whose address is the C context, so callbacks survive a move of the view.
template <class Api, class Delegate>
class Delegated {
 public:
  using Handle = typename Api::Handle;

  Handle* handle() const { return handle_; }
  void setDelegate(Delegate delegate) { state_->delegate = std::move(delegate); }

  static const Delegate& delegate(void* state) { return static_cast<State*>(state)->delegate; }

 protected:
  explicit Delegated(Handle* handle) : state_(std::make_unique<State>()), handle_(handle) {
    if (!handle_) throw StatusError(tilo_last_status());
    typename Api::CDelegate c{};
    c.size = sizeof c;
    Api::installLoad(c);
    c.did_fail_with_error = [](void* s, Handle*, const tilo_error* error) {
      if (auto fn = delegate(s).didFailWithError) fn(convert(*error));
    };
    c.did_click = [](void* s, Handle*, const tilo_ad_info* info) {
      if (auto fn = delegate(s).didClick) fn(convert(info));
    };
    c.did_record_impression = [](void* s, Handle*, const tilo_ad_info* info) {
      if (auto fn = delegate(s).didRecordImpression) fn(convert(info));
    };
    c.did_pay = [](void* s, Handle*, const tilo_ad_info* info, const tilo_revenue* revenue) {
      if (auto fn = delegate(s).didPay) {
        fn(convert(info), Revenue{revenue->value, revenue->currency_code, revenue->precision});
      }
    };
    Api::setDelegate(handle_, &c, state_.get());
  }
  ~Delegated() { Api::destroy(handle_); }
  Delegated(const Delegated&) = delete;
  Delegated& operator=(const Delegated&) = delete;

 private:
  struct State {
    Delegate delegate;
  };
  std::unique_ptr<State> state_;
  Handle* handle_;
};

using ViewLoaded = std::function<void(const std::optional<AdInfo>&)>;

template <class H, class D, tilo_status (*Destroy)(H*),
          tilo_status (*SetDelegate)(H*, const D*, void*)>
struct ViewApi {
  using Handle = H;
  using CDelegate = D;
  static tilo_status destroy(Handle* h) { return Destroy(h); }
  static tilo_status setDelegate(Handle* h, const CDelegate* d, void* c) {
    return SetDelegate(h, d, c);
  }
  static void installLoad(CDelegate& c) {
    c.did_load = [](void* s, Handle*, const tilo_ad_info* info) {
      if (auto fn = Delegated<ViewApi, ViewDelegate<ViewLoaded>>::delegate(s).didLoad) {
        fn(convert(info));
      }
    };
  }
};

using BannerApi = ViewApi<tilo_banner_view, tilo_banner_view_delegate, tilo_banner_view_destroy,
                          tilo_banner_view_set_delegate>;
using NativeApi = ViewApi<tilo_native_view, tilo_native_view_delegate, tilo_native_view_destroy,
                          tilo_native_view_set_delegate>;
using LineBannerApi = ViewApi<tilo_line_banner_view, tilo_line_banner_view_delegate,
                              tilo_line_banner_view_destroy, tilo_line_banner_view_set_delegate>;

}  // namespace detail

enum class BannerSize { banner = TILO_BANNER_SIZE_BANNER, mrec = TILO_BANNER_SIZE_MREC };
enum class WindowEdge { top = TILO_WINDOW_EDGE_TOP, bottom = TILO_WINDOW_EDGE_BOTTOM };

// A view shows nothing until it is placed in a window (Window::addView, addViewPinned).
// Without autoLoad (the default) it loads only once loadAd() (loadNativeAd()) is called;
// with it, it loads by itself once on screen and refreshes from then on.
// Main thread only.
class BannerView : public detail::Delegated<detail::BannerApi, ViewDelegate<detail::ViewLoaded>> {
 public:
  using Delegate = ViewDelegate<detail::ViewLoaded>;
  BannerView(const std::string& unitId, BannerSize size, bool autoLoad = false)
      : Delegated(tilo_banner_view_create(unitId.c_str(), static_cast<int>(size), autoLoad)) {}
  tilo_status loadAd() { return tilo_banner_view_load_ad(handle()); }
  // What the ad opens pages from (null: none).
  tilo_status setRootViewController(const Window* window) {
    return tilo_banner_view_set_root_view_controller(
        handle(), window ? window->rootViewController() : nullptr);
  }
};

// Asset frames in the native view's coordinates; an empty one makes no asset view.
struct NativeAssetLayout {
  std::optional<tilo_rect> icon, title, advertiser, body, media, callToAction;
};

class NativeView : public detail::Delegated<detail::NativeApi, ViewDelegate<detail::ViewLoaded>> {
 public:
  using Delegate = ViewDelegate<detail::ViewLoaded>;
  explicit NativeView(const std::string& unitId, bool autoLoad = false)
      : Delegated(tilo_native_view_create(unitId.c_str(), autoLoad)) {}
  tilo_status loadNativeAd() { return tilo_native_view_load_native_ad(handle()); }
  tilo_status bindNativeViews(const NativeAssetLayout& layout) {
    auto at = [](const std::optional<tilo_rect>& frame) { return frame ? &*frame : nullptr; };
    tilo_native_asset_layout c{
        sizeof c,        at(layout.icon),  at(layout.title),       at(layout.advertiser),
        at(layout.body), at(layout.media), at(layout.callToAction)};
    return tilo_native_view_bind_native_views(handle(), &c);
  }
  tilo_status addInternalNativeView() {
    return tilo_native_view_add_internal_native_view(handle());
  }
};

class LineBannerView
    : public detail::Delegated<detail::LineBannerApi, ViewDelegate<detail::ViewLoaded>> {
 public:
  using Delegate = ViewDelegate<detail::ViewLoaded>;
  explicit LineBannerView(const std::string& unitId, bool autoLoad = false)
      : Delegated(tilo_line_banner_view_create(unitId.c_str(), autoLoad)) {}
  tilo_status loadAd() { return tilo_line_banner_view_load_ad(handle()); }
  // Colours are 0xRRGGBBAA.
  tilo_status setLineBackgroundColor(tilo_color c) {
    return tilo_line_banner_view_set_line_background_color(handle(), c);
  }
  tilo_status setAdMarkTextColor(tilo_color c) {
    return tilo_line_banner_view_set_ad_mark_text_color(handle(), c);
  }
  tilo_status setAdMarkBackgroundColor(tilo_color c) {
    return tilo_line_banner_view_set_ad_mark_background_color(handle(), c);
  }
  tilo_status setTitleTextColor(tilo_color c) {
    return tilo_line_banner_view_set_title_text_color(handle(), c);
  }
  tilo_status setCtaTextColor(tilo_color c) {
    return tilo_line_banner_view_set_cta_text_color(handle(), c);
  }
  tilo_status setCtaBackgroundColor(tilo_color c) {
    return tilo_line_banner_view_set_cta_background_color(handle(), c);
  }
};

// Window placement of the three view kinds.
template <class View>
tilo_status addView(Window& window, View& view, tilo_rect frame) {
  return tilo_window_add_view(window.handle(), view.handle(), frame);
}
template <class View>
tilo_status addViewPinned(Window& window, View& view, WindowEdge edge, double height) {
  return tilo_window_add_view_pinned(window.handle(), view.handle(), static_cast<int>(edge),
                                     height);
}
template <class View>
tilo_status removeView(Window& window, View& view) {
  return tilo_window_remove_view(window.handle(), view.handle());
}

// A loaded light popup; the loader's didLoad hands it over. Keep it until didDismiss.
class LightPopupAd {
 public:
  struct Delegate {
    std::function<void(const std::optional<AdInfo>&)> didShow;
    std::function<void(const std::optional<AdInfo>&)> didDismiss;
    std::function<void(const Error&, const std::optional<AdInfo>&)> didFailToShow;
  };

  // Takes over a handle from tilo_light_popup_ad_loader's did_load.
  explicit LightPopupAd(tilo_light_popup_ad* handle) : state_(std::make_unique<Delegate>()) {
    handle_ = handle;
    tilo_light_popup_ad_delegate c{};
    c.size = sizeof c;
    c.did_show = [](void* s, tilo_light_popup_ad*, const tilo_ad_info* info) {
      if (auto fn = static_cast<Delegate*>(s)->didShow) fn(detail::convert(info));
    };
    c.did_dismiss = [](void* s, tilo_light_popup_ad*, const tilo_ad_info* info) {
      if (auto fn = static_cast<Delegate*>(s)->didDismiss) fn(detail::convert(info));
    };
    c.did_fail_to_show = [](void* s, tilo_light_popup_ad*, const tilo_error* error,
                            const tilo_ad_info* info) {
      if (auto fn = static_cast<Delegate*>(s)->didFailToShow) {
        fn(detail::convert(*error), detail::convert(info));
      }
    };
    tilo_light_popup_ad_set_delegate(handle_, &c, state_.get());
  }
  ~LightPopupAd() {
    if (handle_) tilo_light_popup_ad_destroy(handle_);
  }
  LightPopupAd(LightPopupAd&& other) noexcept
      : state_(std::move(other.state_)), handle_(std::exchange(other.handle_, nullptr)) {}
  LightPopupAd& operator=(LightPopupAd&& other) noexcept {
    std::swap(state_, other.state_);
    std::swap(handle_, other.handle_);
    return *this;
  }

  tilo_light_popup_ad* handle() const { return handle_; }
  void setDelegate(Delegate delegate) { *state_ = std::move(delegate); }
  tilo_status showFrom(const Window& window) {
    return tilo_light_popup_ad_show_from(handle_, window.rootViewController());
  }
  tilo_status setBackgroundColor(tilo_color c) {
    return tilo_light_popup_ad_set_background_color(handle_, c);
  }
  tilo_status setCardViewBackgroundColor(tilo_color c) {
    return tilo_light_popup_ad_set_card_view_background_color(handle_, c);
  }
  tilo_status setCloseButtonTextColor(tilo_color c) {
    return tilo_light_popup_ad_set_close_button_text_color(handle_, c);
  }

 private:
  std::unique_ptr<Delegate> state_;
  tilo_light_popup_ad* handle_ = nullptr;
};

namespace detail {

using PopupLoaded = std::function<void(LightPopupAd, const std::optional<AdInfo>&)>;

struct LightPopupLoaderApi {
  using Handle = tilo_light_popup_ad_loader;
  using CDelegate = tilo_light_popup_ad_loader_delegate;
  static tilo_status destroy(Handle* h) { return tilo_light_popup_ad_loader_destroy(h); }
  static tilo_status setDelegate(Handle* h, const CDelegate* d, void* c) {
    return tilo_light_popup_ad_loader_set_delegate(h, d, c);
  }
  static void installLoad(CDelegate& c) {
    c.did_load = [](void* s, Handle*, tilo_light_popup_ad* ad, const tilo_ad_info* info) {
      LightPopupAd popup(ad);  // destroyed here unless the host keeps it
      if (auto fn =
              Delegated<LightPopupLoaderApi, ViewDelegate<PopupLoaded>>::delegate(s).didLoad) {
        fn(std::move(popup), convert(info));
      }
    };
  }
};

}  // namespace detail

class LightPopupAdLoader
    : public detail::Delegated<detail::LightPopupLoaderApi, ViewDelegate<detail::PopupLoaded>> {
 public:
  using Delegate = ViewDelegate<detail::PopupLoaded>;
  explicit LightPopupAdLoader(const std::string& unitId)
      : Delegated(tilo_light_popup_ad_loader_create(unitId.c_str())) {}
  tilo_status loadAd() { return tilo_light_popup_ad_loader_load_ad(handle()); }
};

}  // namespace tilo
