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
// tilo::StatusError for bad arguments (an empty unit id, a call from another thread) and
// for a bundle that cannot start the SDK (TILO_STATUS_NOT_CONFIGURED, whose what() says
// why); other calls return the C ABI's tilo_status, and Ads::lastErrorMessage() explains a
// TILO_STATUS_NOT_CONFIGURED. No configuration mistake ends the host's process. An ad
// object may be destroyed from inside its own callback: the callback being run is a copy.
#pragma once

#include <tilo/tilo.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
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
  // what() is the status's name, with tilo_last_error_message() when that explains it.
  explicit StatusError(tilo_status status)
      : std::runtime_error(describe(status)), status_(status) {}
  tilo_status status() const { return status_; }

 private:
  static std::string describe(tilo_status status) {
    std::string text = tilo_status_name(status);
    if (status == TILO_STATUS_NOT_CONFIGURED) text += std::string(": ") + tilo_last_error_message();
    return text;
  }
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

  // Why the last call on this thread returned TILO_STATUS_NOT_CONFIGURED, or why a test
  // scenario was refused.
  static std::string lastErrorMessage() { return tilo_last_error_message(); }

  // Scripts the built-in test ad source (see tilo_set_test_scenario); nullopt returns to
  // the built-in scenario. A refused one leaves the current one and says why in
  // lastErrorMessage().
  [[nodiscard]] static tilo_status setTestScenario(const std::optional<std::string>& json) {
    return tilo_set_test_scenario(detail::cString(json));
  }

  // Where clicks lead: `open` receives each destination URL on the main thread (inside
  // runMainLoopFor) and opens it as the host sees fit; an empty function restores the
  // default, which logs the URL at debug level. The SDK never opens anything itself.
  // The function is kept until it is replaced; one running while it is replaced finishes.
  static tilo_status setOpenUrlCallback(std::function<void(const char* url)> open) {
    using Open = std::function<void(const char*)>;
    struct Slot {
      std::mutex mutex;
      std::shared_ptr<Open> open;
    };
    static Slot slot;
    std::shared_ptr<Open> next = open ? std::make_shared<Open>(std::move(open)) : nullptr;
    tilo_open_url_callback trampoline = nullptr;
    if (next) {
      trampoline = [](void* context, const char* url) {
        auto& current = *static_cast<Slot*>(context);
        std::shared_ptr<Open> keep;  // alive while it runs, even if replaced meanwhile
        {
          std::lock_guard<std::mutex> lock(current.mutex);
          keep = current.open;
        }
        if (keep) (*keep)(url);
      };
    }
    const tilo_status status = tilo_set_open_url_callback(trampoline, next ? &slot : nullptr);
    if (status == TILO_STATUS_OK) {
      std::lock_guard<std::mutex> lock(slot.mutex);
      slot.open.swap(next);  // the previous one is released outside the lock
    }
    return status;
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
  // Only what changed since the last render into `buffer`, which `damaged` gives in pixels
  // (empty: nothing written). Any thread; see tilo_window_render.
  tilo_status render(std::uint8_t* buffer, std::size_t stride, tilo_pixel_format format,
                     tilo_rect& damaged) {
    return tilo_window_render(handle_, buffer, stride, format, &damaged);
  }
  // 1 when a view handled the tap, 0 when not, or a negative tilo_status.
  int tap(double x, double y) { return tilo_window_tap(handle_, x, y); }

 private:
  tilo_window* handle_;
};

}  // namespace tilo

// The ad kinds, split out to keep each header readable; hosts include only this file.
#include <tilo/TiloFullScreenAds.hpp>
#include <tilo/TiloViews.hpp>
