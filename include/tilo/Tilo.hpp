// The Tilo SDK's C++ API: C++17, header-only over the C ABI of <tilo/tilo.h>, so a host
// links libtilo.so alone and no standard-library type crosses the library boundary.
//
//   tilo::Ads::setLogLevel(tilo::LogLevel::debug);
//   tilo::Ads::initialize([](std::optional<tilo::Error> error) { ... });
//   tilo::RewardedAd ad("rewarded-main");
//   tilo::RewardedAd::Delegate delegate;
//   delegate.didLoad = [&](const std::optional<tilo::AdInfo>&) { ad.showFrom(nullptr); };
//   delegate.didEarnReward = [](const auto&, const tilo::RewardedItem& item) { grant(item); };
//   ad.setDelegate(delegate);
//   ad.load();
//   while (running) tilo::Ads::runMainLoopFor(1.0 / 60);   // the host's main thread
//
// Callbacks run on the main thread inside runMainLoopFor. Constructors throw
// tilo::StatusError for bad arguments (an empty unit id, a call from another thread);
// other calls return the C ABI's tilo_status. An ad object may be destroyed from inside
// its own callback: the callback being run is a copy.
#pragma once

#include <tilo/tilo.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

namespace tilo {

enum class LogLevel {
  off = TILO_LOG_LEVEL_OFF,
  error = TILO_LOG_LEVEL_ERROR,
  debug = TILO_LOG_LEVEL_DEBUG
};

enum class AdFormat : std::int64_t {
  banner = TILO_AD_FORMAT_BANNER,  // banner and MREC
  interstitial = TILO_AD_FORMAT_INTERSTITIAL,
  rewarded = TILO_AD_FORMAT_REWARDED,
  native = TILO_AD_FORMAT_NATIVE,  // native and light popup
  appOpen = TILO_AD_FORMAT_APP_OPEN,
};

enum class ApplicationState {
  active = TILO_APPLICATION_ACTIVE,
  inactive = TILO_APPLICATION_INACTIVE,
  background = TILO_APPLICATION_BACKGROUND,
};

struct Error {
  std::string domain;  // TILO_ERROR_DOMAIN ...
  std::int64_t code = 0;
  std::string message;
  std::optional<std::string> adUnitId;  // user info of full-screen load and show errors
  std::optional<AdFormat> adFormat;
};

struct AdInfo {
  AdFormat adFormat = AdFormat::banner;
  std::string adUnitId;
  std::optional<double> latencyMs;
  std::optional<std::string> adNetwork;
};

struct RewardedItem {
  std::int64_t amount = 0;
  std::string rewardType;
};

// Revenue after the publisher's fee, as decimal text ("0.010625").
struct Revenue {
  std::string value;
  std::string currencyCode;
  int precision = TILO_PRECISION_UNKNOWN;
};

class StatusError : public std::runtime_error {
 public:
  explicit StatusError(tilo_status status)
      : std::runtime_error(tilo_status_name(status)), status_(status) {}
  tilo_status status() const { return status_; }

 private:
  tilo_status status_;
};

namespace detail {

inline std::optional<AdInfo> convert(const tilo_ad_info* info) {
  if (!info) return std::nullopt;
  AdInfo out;
  out.adFormat = static_cast<AdFormat>(info->ad_format);
  out.adUnitId = info->ad_unit_id;
  if (info->has_latency) out.latencyMs = info->latency_ms;
  if (info->ad_network) out.adNetwork = std::string(info->ad_network);
  return out;
}

inline Error convert(const tilo_error& error) {
  Error out;
  out.domain = error.domain;
  out.code = error.code;
  out.message = error.message;
  if (error.ad_unit_id) out.adUnitId = std::string(error.ad_unit_id);
  if (error.ad_format != TILO_AD_FORMAT_NONE) out.adFormat = static_cast<AdFormat>(error.ad_format);
  return out;
}

inline const char* cString(const std::optional<std::string>& value) {
  return value ? value->c_str() : nullptr;
}

inline std::optional<std::string> readString(tilo_status (*get)(char*, size_t, int64_t*)) {
  int64_t length = 0;
  const tilo_status sized = get(nullptr, 0, &length);  // asks for the length first
  if ((sized != TILO_STATUS_OK && sized != TILO_STATUS_BUFFER_TOO_SMALL) || length < 0) {
    return std::nullopt;
  }
  std::string value(static_cast<size_t>(length) + 1, '\0');
  if (get(value.data(), value.size(), &length) != TILO_STATUS_OK || length < 0) {
    return std::nullopt;
  }
  value.resize(static_cast<size_t>(length));
  return value;
}

inline std::optional<bool> readBool(tilo_status (*get)(int*)) {
  int value = TILO_UNSET;
  if (get(&value) != TILO_STATUS_OK || value == TILO_UNSET) return std::nullopt;
  return value == TILO_YES;
}

inline int optionalBool(std::optional<bool> value) {
  return !value ? TILO_UNSET : (*value ? TILO_YES : TILO_NO);
}

}  // namespace detail

// The process-wide manager. Setters and getters may be called from any thread.
class Ads {
 public:
  static const char* version() { return tilo_version(); }

  static LogLevel logLevel() { return static_cast<LogLevel>(tilo_get_log_level()); }
  static tilo_status setLogLevel(LogLevel level) {
    return tilo_set_log_level(static_cast<int>(level));
  }
  // Every log line goes to `sink` instead of standard output (an empty sink restores it).
  // The sink may be called from any thread.
  static tilo_status setLogCallback(std::function<void(LogLevel, const char* line)> sink) {
    static std::function<void(LogLevel, const char*)>* current = nullptr;
    if (!sink) return tilo_set_log_callback(nullptr, nullptr);
    // Kept for the rest of the process: a line may be logging on another thread right now.
    current = new std::function<void(LogLevel, const char*)>(std::move(sink));
    return tilo_set_log_callback(
        [](void* context, tilo_log_level level, const char* line) {
          (*static_cast<std::function<void(LogLevel, const char*)>*>(context))(
              static_cast<LogLevel>(level), line);
        },
        current);
  }

  // Start-up settings: before the first call that builds the SDK.
  static tilo_status setBundleDirectory(const std::optional<std::string>& path) {
    return tilo_set_bundle_directory(detail::cString(path));
  }
  static tilo_status setApplicationContainer(const std::optional<std::string>& path) {
    return tilo_set_application_container(detail::cString(path));
  }
  static tilo_status setDevelopmentBaseUrl(const std::optional<std::string>& url) {
    return tilo_set_development_base_url(detail::cString(url));
  }

  static std::optional<std::string> userId() { return detail::readString(tilo_get_user_id); }
  static tilo_status setUserId(const std::optional<std::string>& value) {
    return tilo_set_user_id(detail::cString(value));
  }
  static std::optional<bool> hasUserConsent() {
    return detail::readBool(tilo_get_has_user_consent);
  }
  static tilo_status setHasUserConsent(std::optional<bool> value) {
    return tilo_set_has_user_consent(detail::optionalBool(value));
  }
  static std::optional<bool> doNotSell() { return detail::readBool(tilo_get_do_not_sell); }
  static tilo_status setDoNotSell(std::optional<bool> value) {
    return tilo_set_do_not_sell(detail::optionalBool(value));
  }
  static std::optional<bool> isTaggedForChildDirectedTreatment() {
    return detail::readBool(tilo_get_child_directed);
  }
  static tilo_status setIsTaggedForChildDirectedTreatment(std::optional<bool> value) {
    return tilo_set_child_directed(detail::optionalBool(value));
  }
  static std::optional<std::string> gdprConsentString() {
    return detail::readString(tilo_get_gdpr_consent_string);
  }
  static tilo_status setGdprConsentString(const std::optional<std::string>& value) {
    return tilo_set_gdpr_consent_string(detail::cString(value));
  }
  static std::optional<std::string> ccpaString() {
    return detail::readString(tilo_get_ccpa_string);
  }
  static tilo_status setCcpaString(const std::optional<std::string>& value) {
    return tilo_set_ccpa_string(detail::cString(value));
  }
  // Linux has no tracking prompt: not authorized until the host's consent flow says so.
  static tilo_status setTrackingAuthorization(tilo_tracking_authorization status) {
    return tilo_set_tracking_authorization(status);
  }

  // Returns at once; `completion` runs once on the main thread, without an error on success.
  static tilo_status initialize(std::function<void(std::optional<Error>)> completion) {
    auto* held = new std::function<void(std::optional<Error>)>(std::move(completion));
    const tilo_status status = tilo_initialize(
        [](void* context, const tilo_error* error) {
          std::unique_ptr<std::function<void(std::optional<Error>)>> call(
              static_cast<std::function<void(std::optional<Error>)>*>(context));
          if (*call) (*call)(error ? std::optional<Error>(detail::convert(*error)) : std::nullopt);
        },
        held);
    if (status != TILO_STATUS_OK) delete held;
    return status;
  }

  // Delivers callbacks for `seconds` of real time. Main thread only: the first pump
  // chooses it, a pump from another thread returns TILO_STATUS_WRONG_THREAD.
  static tilo_status runMainLoopFor(double seconds) { return tilo_run_main_loop_for(seconds); }
  static ApplicationState applicationState() {
    return static_cast<ApplicationState>(tilo_application_get_state());
  }
  // Main thread only. Background makes the SDK save and upload its analytics.
  static tilo_status setApplicationState(ApplicationState state) {
    return tilo_application_set_state(static_cast<int>(state));
  }
};

// A window an engine draws as a texture; full-screen ads are shown from it. Main thread only.
class Window {
 public:
  Window(double widthPt, double heightPt, double scale)
      : handle_(tilo_window_create(widthPt, heightPt, scale)) {
    if (!handle_) throw StatusError(tilo_last_status());
  }
  ~Window() { tilo_window_destroy(handle_); }
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  tilo_window* handle() const { return handle_; }
  tilo_view_controller* rootViewController() const {
    return tilo_window_root_view_controller(handle_);
  }
  tilo_status setSafeAreaInsets(double top, double left, double bottom, double right) {
    return tilo_window_set_safe_area_insets(handle_, top, left, bottom, right);
  }
  tilo_status setAppearance(tilo_appearance appearance) {
    return tilo_window_set_appearance(handle_, appearance);
  }
  std::pair<int, int> pixelSize() const {
    int width = 0, height = 0;
    tilo_window_pixel_size(handle_, &width, &height);
    return {width, height};
  }
  // RGBA8, premultiplied, rows `stride` bytes apart.
  tilo_status renderRGBA(std::uint8_t* buffer, std::size_t stride) {
    return tilo_window_render_rgba(handle_, buffer, stride);
  }
  // 1 when a view handled the tap, 0 when not, or a negative tilo_status.
  int tap(double x, double y) { return tilo_window_tap(handle_, x, y); }

 private:
  tilo_window* handle_;
};

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
// and the functions.
template <class Api>
class FullScreenAd {
 public:
  using Delegate = FullScreenAdDelegate;
  using Handle = typename Api::Handle;

  explicit FullScreenAd(const std::string& adUnitId)
      : state_(std::make_unique<State>()), handle_(Api::create(adUnitId.c_str())) {
    if (!handle_) throw StatusError(tilo_last_status());
    typename Api::CDelegate c{};
    c.size = sizeof c;
    c.did_load = [](void* s, Handle*, const tilo_ad_info* info) {
      if (auto fn = delegate(s).didLoad) fn(convert(info));
    };
    c.did_fail_to_load = [](void* s, Handle*, const tilo_error* error) {
      if (auto fn = delegate(s).didFailToLoad) fn(convert(*error));
    };
    c.did_show = [](void* s, Handle*, const tilo_ad_info* info) {
      if (auto fn = delegate(s).didShow) fn(convert(info));
    };
    c.did_fail_to_show = [](void* s, Handle*, const tilo_ad_info* info, const tilo_error* error) {
      if (auto fn = delegate(s).didFailToShow) fn(convert(info), convert(*error));
    };
    c.did_click = [](void* s, Handle*, const tilo_ad_info* info) {
      if (auto fn = delegate(s).didClick) fn(convert(info));
    };
    c.did_record_impression = [](void* s, Handle*, const tilo_ad_info* info) {
      if (auto fn = delegate(s).didRecordImpression) fn(convert(info));
    };
    c.did_dismiss = [](void* s, Handle*, const tilo_ad_info* info) {
      if (auto fn = delegate(s).didDismiss) fn(convert(info));
    };
    c.did_pay = [](void* s, Handle*, const tilo_ad_info* info, const tilo_revenue* revenue) {
      if (auto fn = delegate(s).didPay) {
        fn(convert(info), Revenue{revenue->value, revenue->currency_code, revenue->precision});
      }
    };
    Api::installReward(c);
    Api::setDelegate(handle_, &c, state_.get());
  }
  ~FullScreenAd() { Api::destroy(handle_); }
  FullScreenAd(const FullScreenAd&) = delete;
  FullScreenAd& operator=(const FullScreenAd&) = delete;

  Handle* handle() const { return handle_; }
  void setDelegate(Delegate delegate) { state_->delegate = std::move(delegate); }
  tilo_status load() { return Api::load(handle_); }
  // 1 or 0, or a negative tilo_status.
  int isReady() const { return Api::isReady(handle_); }
  // Empty before a load.
  std::optional<AdInfo> adInfo() const {
    tilo_ad_info info{};
    if (Api::adInfo(handle_, &info) != 1) return std::nullopt;
    return convert(&info);
  }

  static const Delegate& delegate(void* state) { return static_cast<State*>(state)->delegate; }

 private:
  struct State {
    Delegate delegate;
  };
  std::unique_ptr<State> state_;
  Handle* handle_;
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
      if (auto fn = FullScreenAd<RewardedApi>::delegate(s).didEarnReward) {
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

// Main thread only, like every ad object.
class RewardedAd : public detail::FullScreenAd<detail::RewardedApi> {
 public:
  using FullScreenAd::FullScreenAd;
  // `window` may be null (no view controller).
  tilo_status showFrom(const Window* window) {
    return tilo_rewarded_ad_show_from(handle(), window ? window->rootViewController() : nullptr);
  }
  tilo_status setPlacement(const std::string& placement) {
    return tilo_rewarded_ad_set_placement(handle(), placement.c_str());
  }
  tilo_status setCustomData(const std::string& customData) {
    return tilo_rewarded_ad_set_custom_data(handle(), customData.c_str());
  }
};

class InterstitialAd : public detail::FullScreenAd<detail::InterstitialApi> {
 public:
  using FullScreenAd::FullScreenAd;
  tilo_status showFrom(const Window* window) {
    return tilo_interstitial_ad_show_from(handle(),
                                          window ? window->rootViewController() : nullptr);
  }
};

class AppOpenAd : public detail::FullScreenAd<detail::AppOpenApi> {
 public:
  using FullScreenAd::FullScreenAd;
  tilo_status show() { return tilo_app_open_ad_show(handle()); }
};

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
// Main thread only.
class BannerView : public detail::Delegated<detail::BannerApi, ViewDelegate<detail::ViewLoaded>> {
 public:
  using Delegate = ViewDelegate<detail::ViewLoaded>;
  BannerView(const std::string& unitId, BannerSize size, bool autoLoad = true)
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
  explicit NativeView(const std::string& unitId, bool autoLoad = true)
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
  explicit LineBannerView(const std::string& unitId, bool autoLoad = true)
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
