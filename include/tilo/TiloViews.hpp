// Banner, native and line banner views, and the light popup.
// Part of the C++ API: hosts include <tilo/Tilo.hpp>, which includes this file.
#pragma once

#include <tilo/Tilo.hpp>

#include <cstdint>
#include <vector>

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

// One view kind (or the light popup loader or native ad loader) over its C functions.
template <class Derived, class Api, class Delegate>
class Delegated : public OwnedHandle<Derived, Api, Delegate> {
  using Base = OwnedHandle<Derived, Api, Delegate>;

 protected:
  // The object over a handle a C *_create returned, or the status of its refusal.
  static Expected<Derived> adopt(typename Api::Handle* handle) {
    return Base::adopt(handle, &fill);
  }

 private:
  using Handle = typename Api::Handle;

  static void fill(typename Api::CDelegate& c) {
    Api::installLoad(c);
    c.did_fail_with_error = [](void* s, Handle*, const tilo_error* error) {
      if (auto fn = Base::delegate(s).didFailWithError) fn(convert(*error));
    };
    c.did_click = [](void* s, Handle*, const tilo_ad_info* info) {
      if (auto fn = Base::delegate(s).didClick) fn(convert(info));
    };
    c.did_record_impression = [](void* s, Handle*, const tilo_ad_info* info) {
      if (auto fn = Base::delegate(s).didRecordImpression) fn(convert(info));
    };
    c.did_pay = [](void* s, Handle*, const tilo_ad_info* info, const tilo_revenue* revenue) {
      if (auto fn = Base::delegate(s).didPay) {
        fn(convert(info), Revenue{revenue->value, revenue->currency_code, revenue->precision});
      }
    };
  }
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
      if (auto fn = delegateIn<ViewDelegate<ViewLoaded>>(s).didLoad) {
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

// A view shows nothing until it is placed in a window (addView, addViewPinned). Without
// autoLoad (the default) it loads only once loadAd() (loadNativeAd()) is called; with it,
// it loads by itself once on screen and refreshes from then on. Made by create(); moves
// and empties as described in Tilo.hpp. Main thread only.
class BannerView
    : public detail::Delegated<BannerView, detail::BannerApi, ViewDelegate<detail::ViewLoaded>> {
 public:
  using Delegate = ViewDelegate<detail::ViewLoaded>;
  [[nodiscard]] static Expected<BannerView> create(const std::string& unitId, BannerSize size,
                                                   bool autoLoad = false) {
    return adopt(tilo_banner_view_create(unitId.c_str(), static_cast<int>(size), autoLoad));
  }
  [[nodiscard]] tilo_status loadAd() { return tilo_banner_view_load_ad(handle()); }
  // What the ad opens pages from (null: none).
  [[nodiscard]] tilo_status setRootViewController(const Window* window) {
    return tilo_banner_view_set_root_view_controller(
        handle(), window ? window->rootViewController() : nullptr);
  }
};

// Asset frames in the native view's coordinates; an empty one makes no asset view.
struct NativeAssetLayout {
  std::optional<tilo_rect> icon, title, advertiser, body, media, callToAction;
  // None: the top-left corner. Initialized here so that a host's brace list written
  // before it existed still compiles under -Wextra.
  std::optional<tilo_rect> adMark = std::nullopt;
};

class NativeView
    : public detail::Delegated<NativeView, detail::NativeApi, ViewDelegate<detail::ViewLoaded>> {
 public:
  using Delegate = ViewDelegate<detail::ViewLoaded>;
  [[nodiscard]] static Expected<NativeView> create(const std::string& unitId,
                                                   bool autoLoad = false) {
    return adopt(tilo_native_view_create(unitId.c_str(), autoLoad));
  }
  [[nodiscard]] tilo_status loadNativeAd() { return tilo_native_view_load_native_ad(handle()); }
  [[nodiscard]] tilo_status bindNativeViews(const NativeAssetLayout& layout) {
    auto at = [](const std::optional<tilo_rect>& frame) { return frame ? &*frame : nullptr; };
    tilo_native_asset_layout c{
        sizeof c,        at(layout.icon),  at(layout.title),        at(layout.advertiser),
        at(layout.body), at(layout.media), at(layout.callToAction), at(layout.adMark)};
    return tilo_native_view_bind_native_views(handle(), &c);
  }
  // The look of the asset views bindNativeViews makes (see tilo_native_asset_layout);
  // colours are 0xRRGGBBAA.
  [[nodiscard]] tilo_status setTextColor(tilo_native_part part, tilo_color color) {
    return tilo_native_view_set_text_color(handle(), part, color);
  }
  [[nodiscard]] tilo_status setBackgroundColor(tilo_native_part part, tilo_color color) {
    return tilo_native_view_set_background_color(handle(), part, color);
  }
  [[nodiscard]] tilo_status setFont(tilo_native_part part, double size,
                                    tilo_font_weight weight = TILO_FONT_WEIGHT_REGULAR) {
    return tilo_native_view_set_font(handle(), part, size, weight);
  }
  [[nodiscard]] tilo_status addInternalNativeView() {
    return tilo_native_view_add_internal_native_view(handle());
  }
};

class LineBannerView : public detail::Delegated<LineBannerView, detail::LineBannerApi,
                                                ViewDelegate<detail::ViewLoaded>> {
 public:
  using Delegate = ViewDelegate<detail::ViewLoaded>;
  [[nodiscard]] static Expected<LineBannerView> create(const std::string& unitId,
                                                       bool autoLoad = false) {
    return adopt(tilo_line_banner_view_create(unitId.c_str(), autoLoad));
  }
  [[nodiscard]] tilo_status loadAd() { return tilo_line_banner_view_load_ad(handle()); }
  // Colours are 0xRRGGBBAA.
  [[nodiscard]] tilo_status setLineBackgroundColor(tilo_color c) {
    return tilo_line_banner_view_set_line_background_color(handle(), c);
  }
  [[nodiscard]] tilo_status setAdMarkTextColor(tilo_color c) {
    return tilo_line_banner_view_set_ad_mark_text_color(handle(), c);
  }
  [[nodiscard]] tilo_status setAdMarkBackgroundColor(tilo_color c) {
    return tilo_line_banner_view_set_ad_mark_background_color(handle(), c);
  }
  [[nodiscard]] tilo_status setTitleTextColor(tilo_color c) {
    return tilo_line_banner_view_set_title_text_color(handle(), c);
  }
  [[nodiscard]] tilo_status setCtaTextColor(tilo_color c) {
    return tilo_line_banner_view_set_cta_text_color(handle(), c);
  }
  [[nodiscard]] tilo_status setCtaBackgroundColor(tilo_color c) {
    return tilo_line_banner_view_set_cta_background_color(handle(), c);
  }
};

// Window placement of the three view kinds.
template <class View>
[[nodiscard]] tilo_status addView(Window& window, View& view, tilo_rect frame) {
  return tilo_window_add_view(window.handle(), view.handle(), frame);
}
template <class View>
[[nodiscard]] tilo_status addViewPinned(Window& window, View& view, WindowEdge edge,
                                        double height) {
  return tilo_window_add_view_pinned(window.handle(), view.handle(), static_cast<int>(edge),
                                     height);
}
template <class View>
[[nodiscard]] tilo_status removeView(Window& window, View& view) {
  return tilo_window_remove_view(window.handle(), view.handle());
}
// The frame, in window points, of the shown part named `identifier` ("rewarded.close",
// "interstitial.cta"...; see tilo_window_element_frame); nullopt when none is shown.
inline std::optional<tilo_rect> elementFrame(const Window& window, const std::string& identifier) {
  tilo_rect frame{};
  if (tilo_window_element_frame(window.handle(), identifier.c_str(), &frame) != TILO_STATUS_OK) {
    return std::nullopt;
  }
  return frame;
}

// A loaded light popup, handed over by the loader's didLoad. The object is the popup:
// move it into storage that outlives didDismiss. Dropping it (destroying, assigning over
// it, reset(), or leaving didLoad without moving it) closes the popup if it is on screen
// and destroys it, without a callback. So a popup shown from didLoad and not kept closes
// again at once instead of staying on screen beyond the host's reach.
class LightPopupAd {
 public:
  struct Delegate {
    std::function<void(const std::optional<AdInfo>&)> didShow;
    std::function<void(const std::optional<AdInfo>&)> didDismiss;
    std::function<void(const Error&, const std::optional<AdInfo>&)> didFailToShow;
  };

  LightPopupAd() noexcept = default;  // empty
  // Takes over a handle from tilo_light_popup_ad_loader's did_load.
  explicit LightPopupAd(tilo_light_popup_ad* handle)
      : state_(new detail::DelegateState<Delegate>()), handle_(handle) {
    tilo_light_popup_ad_delegate c{};
    c.size = sizeof c;
    c.did_show = [](void* s, tilo_light_popup_ad*, const tilo_ad_info* info) {
      if (auto fn = detail::delegateIn<Delegate>(s).didShow) fn(detail::convert(info));
    };
    c.did_dismiss = [](void* s, tilo_light_popup_ad*, const tilo_ad_info* info) {
      if (auto fn = detail::delegateIn<Delegate>(s).didDismiss) fn(detail::convert(info));
    };
    c.did_fail_to_show = [](void* s, tilo_light_popup_ad*, const tilo_error* error,
                            const tilo_ad_info* info) {
      if (auto fn = detail::delegateIn<Delegate>(s).didFailToShow) {
        fn(detail::convert(*error), detail::convert(info));
      }
    };
    (void)tilo_light_popup_ad_set_delegate(handle_, &c, state_.get());
  }
  ~LightPopupAd() { reset(); }
  LightPopupAd(LightPopupAd&& other) noexcept
      : state_(std::move(other.state_)), handle_(std::exchange(other.handle_, nullptr)) {}
  LightPopupAd& operator=(LightPopupAd&& other) noexcept {
    if (this != &other) {
      reset();
      state_ = std::move(other.state_);
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  LightPopupAd(const LightPopupAd&) = delete;
  LightPopupAd& operator=(const LightPopupAd&) = delete;

  explicit operator bool() const noexcept { return handle_ != nullptr; }
  tilo_light_popup_ad* handle() const noexcept { return handle_; }
  // Closes the popup if it is on screen, destroys it, and leaves this object empty.
  void reset() noexcept {
    detail::destroyHandle(
        std::exchange(handle_, nullptr),
        +[](tilo_light_popup_ad* popup) {
          if (tilo_light_popup_ad_close(popup) == TILO_STATUS_WRONG_THREAD) {
            return TILO_STATUS_WRONG_THREAD;  // closed and destroyed on the main thread
          }
          return tilo_light_popup_ad_destroy(popup);
        },
        std::move(state_));
  }
  void setDelegate(Delegate delegate) {
    if (state_) state_->delegate = std::move(delegate);
  }
  [[nodiscard]] tilo_status showFrom(const Window& window) {
    return tilo_light_popup_ad_show_from(handle_, window.rootViewController());
  }
  // Closes it as its close button does; didDismiss follows.
  [[nodiscard]] tilo_status close() { return tilo_light_popup_ad_close(handle_); }
  [[nodiscard]] tilo_status setBackgroundColor(tilo_color c) {
    return tilo_light_popup_ad_set_background_color(handle_, c);
  }
  [[nodiscard]] tilo_status setCardViewBackgroundColor(tilo_color c) {
    return tilo_light_popup_ad_set_card_view_background_color(handle_, c);
  }
  [[nodiscard]] tilo_status setCloseButtonTextColor(tilo_color c) {
    return tilo_light_popup_ad_set_close_button_text_color(handle_, c);
  }

 private:
  std::unique_ptr<detail::DelegateState<Delegate>> state_;
  tilo_light_popup_ad* handle_ = nullptr;
};

namespace detail {

// didLoad receives the popup by value: it is the host's to move into storage.
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
      LightPopupAd popup(ad);  // closed and destroyed here unless the host moved it out
      if (auto fn = delegateIn<ViewDelegate<PopupLoaded>>(s).didLoad) {
        fn(std::move(popup), convert(info));
      }
    };
  }
};

}  // namespace detail

// Loads light popups; every load hands a new LightPopupAd to didLoad (see LightPopupAd for
// who owns it).
class LightPopupAdLoader : public detail::Delegated<LightPopupAdLoader, detail::LightPopupLoaderApi,
                                                    ViewDelegate<detail::PopupLoaded>> {
 public:
  using Delegate = ViewDelegate<detail::PopupLoaded>;
  [[nodiscard]] static Expected<LightPopupAdLoader> create(const std::string& unitId) {
    return adopt(tilo_light_popup_ad_loader_create(unitId.c_str()));
  }
  [[nodiscard]] tilo_status loadAd() { return tilo_light_popup_ad_loader_load_ad(handle()); }
};

// An image asset, rows of width × 4 bytes without padding; empty (0 × 0) when the ad has
// none.
struct NativeImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;
  bool empty() const noexcept { return width == 0 || height == 0; }
};

// A loaded native ad that the host draws itself, handed over by NativeAdLoader's didLoad:
// move it into storage for as long as it is shown; dropping it destroys it (without a
// callback). Read its assets, draw them, then report recordImpression() once it is on
// screen and recordClick() on a tap; both count once (TILO_STATUS_ALREADY_RECORDED
// afterwards) and a click before the impression is refused (TILO_STATUS_NOT_SHOWN).
// Their callbacks and revenue reach the loader's delegate. Main thread only.
class NativeAd {
 public:
  NativeAd() noexcept = default;  // empty
  // Takes over a handle from tilo_native_ad_loader's did_load.
  explicit NativeAd(tilo_native_ad* handle) noexcept : handle_(handle) {}
  ~NativeAd() { reset(); }
  NativeAd(NativeAd&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  NativeAd& operator=(NativeAd&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  NativeAd(const NativeAd&) = delete;
  NativeAd& operator=(const NativeAd&) = delete;

  explicit operator bool() const noexcept { return handle_ != nullptr; }
  tilo_native_ad* handle() const noexcept { return handle_; }
  void reset() noexcept {
    detail::destroyHandle(std::exchange(handle_, nullptr), &tilo_native_ad_destroy);
  }

  // Absent when the ad has no such text (or this object is empty).
  std::optional<std::string> headline() const { return text(tilo_native_ad_get_headline); }
  std::optional<std::string> body() const { return text(tilo_native_ad_get_body); }
  std::optional<std::string> callToAction() const {
    return text(tilo_native_ad_get_call_to_action);
  }
  std::optional<std::string> advertiser() const { return text(tilo_native_ad_get_advertiser); }
  // In `format` (a tilo_pixel_format: straight RGBA by default).
  [[nodiscard]] Expected<NativeImage> icon(int format = TILO_PIXEL_FORMAT_RGBA) const {
    return image(tilo_native_ad_get_icon, format);
  }
  [[nodiscard]] Expected<NativeImage> media(int format = TILO_PIXEL_FORMAT_RGBA) const {
    return image(tilo_native_ad_get_media, format);
  }

  [[nodiscard]] tilo_status recordImpression() { return tilo_native_ad_record_impression(handle_); }
  [[nodiscard]] tilo_status recordClick() { return tilo_native_ad_record_click(handle_); }

 private:
  using TextGetter = tilo_status (*)(tilo_native_ad*, char*, size_t, int64_t*);
  using ImageGetter = tilo_status (*)(tilo_native_ad*, uint8_t*, size_t, size_t, int, int*, int*);

  std::optional<std::string> text(TextGetter get) const {
    tilo_native_ad* ad = handle_;
    return detail::readString([ad, get](char* buffer, size_t capacity, int64_t* length) {
      return get(ad, buffer, capacity, length);
    });
  }
  Expected<NativeImage> image(ImageGetter get, int format) const {
    NativeImage out;
    tilo_status status = get(handle_, nullptr, 0, 0, format, &out.width, &out.height);
    if (status == TILO_STATUS_BUFFER_TOO_SMALL) {
      out.pixels.resize(static_cast<size_t>(out.width) * 4 * static_cast<size_t>(out.height));
      status =
          get(handle_, out.pixels.data(), out.pixels.size(), 0, format, &out.width, &out.height);
    }
    if (status != TILO_STATUS_OK) return Expected<NativeImage>::failure(status);
    return out;
  }

  tilo_native_ad* handle_ = nullptr;
};

namespace detail {

// didLoad receives the ad by value: it is the host's to move into storage.
using NativeAdLoaded = std::function<void(NativeAd, const std::optional<AdInfo>&)>;

struct NativeAdLoaderApi {
  using Handle = tilo_native_ad_loader;
  using CDelegate = tilo_native_ad_loader_delegate;
  static tilo_status destroy(Handle* h) { return tilo_native_ad_loader_destroy(h); }
  static tilo_status setDelegate(Handle* h, const CDelegate* d, void* c) {
    return tilo_native_ad_loader_set_delegate(h, d, c);
  }
  static void installLoad(CDelegate& c) {
    c.did_load = [](void* s, Handle*, tilo_native_ad* handle, const tilo_ad_info* info) {
      NativeAd ad(handle);  // destroyed here unless the host moved it out
      if (auto fn = delegateIn<ViewDelegate<NativeAdLoaded>>(s).didLoad) {
        fn(std::move(ad), convert(info));
      }
    };
  }
};

}  // namespace detail

// Loads native ads for a host that draws them itself; every load hands a new NativeAd to
// didLoad. Keep the loader while its ads are shown: its delegate hears their impressions,
// clicks and revenue.
class NativeAdLoader : public detail::Delegated<NativeAdLoader, detail::NativeAdLoaderApi,
                                                ViewDelegate<detail::NativeAdLoaded>> {
 public:
  using Delegate = ViewDelegate<detail::NativeAdLoaded>;
  [[nodiscard]] static Expected<NativeAdLoader> create(const std::string& unitId) {
    return adopt(tilo_native_ad_loader_create(unitId.c_str()));
  }
  [[nodiscard]] tilo_status loadAd() { return tilo_native_ad_loader_load_ad(handle()); }
};

}  // namespace tilo
