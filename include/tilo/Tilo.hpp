// The Tilo SDK's C++ API: C++17, header-only over the C ABI of <tilo/tilo.h>, so a host
// links libtilo.so alone and no standard-library type crosses the library boundary. It
// builds with -fno-exceptions and -fno-rtti: nothing here throws or asks for a type.
//
//   tilo::Ads::initialize([](std::optional<tilo::Error> error) { ... });
//   auto made = tilo::RewardedAd::create("rewarded");        // a tilo::Expected<RewardedAd>
//   if (!made) return log(made.message());                  // the status, and why
//   game.rewarded = std::move(made).value();                  // the ad moves, callbacks too
//   tilo::RewardedAd::Delegate delegate;
//   delegate.didLoad = [&](const auto&) { (void)game.rewarded.showFrom(nullptr); };
//   delegate.didEarnReward = [](const auto&, const tilo::RewardedItem& item) { grant(item); };
//   game.rewarded.setDelegate(delegate);
//   if (game.rewarded.load() != TILO_STATUS_OK) { ... }
//   while (running) (void)tilo::Ads::runMainLoopFor(0);   // each frame, on the main thread
//
// Callbacks run on the main thread inside runMainLoopFor. Objects that can be refused (an
// empty unit id, a call from another thread, a bundle that cannot start the SDK) are made
// by a static create() that returns a tilo::Expected: the object, or the tilo_status and
// its explanation. Every other call returns the C ABI's tilo_status, marked [[nodiscard]].
// No configuration mistake ends the host's process.
//
// Every ad, view, loader and window object owns one C handle: it can be moved, not copied,
// and its destructor destroys the handle, on any thread (off the main thread the handle
// and its callbacks end on the main thread's next pump). Its callbacks follow it through a move
// (they live in a heap block whose address the C delegate keeps). A default-constructed or
// moved-from object is empty: every call on it returns TILO_STATUS_INVALID_HANDLE and
// setDelegate does nothing. An object may be destroyed from inside its own callback: the
// callback being run is a copy, and no other one comes.
#pragma once

#include <tilo/tilo.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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

namespace detail {

// The status's name, with tilo_last_error_message() when that explains it.
inline std::string describe(tilo_status status) {
  std::string text = tilo_status_name(status);
  if (status == TILO_STATUS_NOT_CONFIGURED) text += std::string(": ") + tilo_last_error_message();
  return text;
}

}  // namespace detail

// What a create() gives: the object, or the status that refused it. Check it before use:
//
//   auto window = tilo::Window::create(390, 844, 3);
//   if (!window) std::fprintf(stderr, "%s\n", window.message().c_str());
//
// A refused result still holds an object, an empty one, so that a missed check cannot
// crash: every call on it returns TILO_STATUS_INVALID_HANDLE.
template <class T>
class [[nodiscard]] Expected {
 public:
  Expected(T&& value) noexcept : value_(std::move(value)) {}  // NOLINT: implicit, as a return
  // A refusal; TILO_STATUS_OK is not one and becomes TILO_STATUS_INTERNAL_ERROR.
  static Expected failure(tilo_status status) {
    Expected refused{T()};
    refused.status_ = status == TILO_STATUS_OK ? TILO_STATUS_INTERNAL_ERROR : status;
    refused.message_ = detail::describe(refused.status_);
    return refused;
  }

  bool ok() const noexcept { return status_ == TILO_STATUS_OK; }
  explicit operator bool() const noexcept { return ok(); }
  [[nodiscard]] tilo_status status() const noexcept { return status_; }
  // Empty after success; else the status's name, and for TILO_STATUS_NOT_CONFIGURED why
  // the bundle cannot start the SDK ("TILO_STATUS_NOT_CONFIGURED: TiloAppKey not found ...").
  const std::string& message() const noexcept { return message_; }

  T& value() & noexcept { return value_; }
  const T& value() const& noexcept { return value_; }
  T&& value() && noexcept { return std::move(value_); }
  T* operator->() noexcept { return &value_; }
  const T* operator->() const noexcept { return &value_; }
  T& operator*() & noexcept { return value_; }
  T&& operator*() && noexcept { return std::move(value_); }

 private:
  T value_;
  tilo_status status_ = TILO_STATUS_OK;
  std::string message_;
};

namespace detail {

// A process-wide object that is never destroyed: the C ABI may call into it from an SDK
// thread while the host's statics are being destroyed at exit.
template <class T>
T& immortal() {
  alignas(T) static unsigned char storage[sizeof(T)];
  static T* object = new (storage) T();
  return *object;
}

// What waits for the main thread, or for tilo::shutdown() when the main thread never comes
// back: wrappers destroyed on another thread and initialize() completions not yet called.
// Each entry frees what it holds when deleted.
struct Deferred {
  virtual ~Deferred() = default;
  virtual void runOnMainThread() noexcept {}
};

class DeferredList {
 public:
  // Keeps `item` until take() or releaseAll().
  static void keep(Deferred* item) {
    DeferredList& list = immortal<DeferredList>();
    std::lock_guard<std::mutex> lock(list.mutex_);
    list.items_.push_back(item);
  }
  // Whether `item` was still kept; it is not any more.
  static bool take(Deferred* item) {
    DeferredList& list = immortal<DeferredList>();
    std::lock_guard<std::mutex> lock(list.mutex_);
    for (auto it = list.items_.begin(); it != list.items_.end(); ++it) {
      if (*it != item) continue;
      list.items_.erase(it);
      return true;
    }
    return false;
  }
  // Keeps `item` and has the main thread run and delete it on its next pump; the C ABI's
  // refusal when it cannot (then `item` is not kept).
  static tilo_status post(Deferred* item) {
    keep(item);
    const tilo_status status = tilo_run_on_main_thread(
        [](void* context) {
          auto* deferred = static_cast<Deferred*>(context);
          if (!take(deferred)) return;
          deferred->runOnMainThread();
          delete deferred;
        },
        item);
    if (status != TILO_STATUS_OK) take(item);
    return status;
  }
  // After tilo_shutdown(): no callback comes any more, so what waited is freed here.
  static void releaseAll() {
    DeferredList& list = immortal<DeferredList>();
    std::vector<Deferred*> items;
    {
      std::lock_guard<std::mutex> lock(list.mutex_);
      items.swap(list.items_);
    }
    for (Deferred* item : items) delete item;
  }

 private:
  std::mutex mutex_;
  std::vector<Deferred*> items_;
};

struct NoState {};

// Destroys `handle` with `destroy` (a C *_destroy), then frees `state`, the block its C
// delegate's context points to. From a thread other than the main one the C ABI refuses
// (TILO_STATUS_WRONG_THREAD) and the main thread may be in one of the handle's callbacks,
// using `state`, this very moment: both then wait for the main thread's next pump, or for
// tilo::shutdown(), which destroyed the handle.
template <class Handle, class State = NoState>
void destroyHandle(Handle* handle, tilo_status (*destroy)(Handle*),
                   std::unique_ptr<State> state = nullptr) noexcept {
  if (!handle || destroy(handle) != TILO_STATUS_WRONG_THREAD) return;  // `state` freed here
  struct Destroy final : Deferred {
    Handle* handle;
    tilo_status (*destroy)(Handle*);
    std::unique_ptr<State> state;
    Destroy(Handle* h, tilo_status (*d)(Handle*), std::unique_ptr<State> s) noexcept
        : handle(h), destroy(d), state(std::move(s)) {}
    void runOnMainThread() noexcept override { (void)destroy(handle); }
  };
  auto* deferred = new (std::nothrow) Destroy(handle, destroy, nullptr);
  if (!deferred) {
    (void)state.release();  // no memory: a leak is better than a callback into freed memory
    return;
  }
  deferred->state = std::move(state);
  const tilo_status posted = DeferredList::post(deferred);
  if (posted == TILO_STATUS_OK) return;
  // Shut down or forked meanwhile: no callback can come, the state may go. Anything else
  // keeps it: a leak is better than a callback into freed memory.
  if (posted != TILO_STATUS_SHUT_DOWN && posted != TILO_STATUS_FORKED) {
    (void)deferred->state.release();
  }
  delete deferred;
}

// A host function the C ABI calls through a trampoline: held by a shared pointer, so that
// replacing it releases the previous one while a call already running keeps its own.
template <class Signature>
class CallbackSlot {
 public:
  using Function = std::function<Signature>;

  // Installs `function` (empty: none) with `set(trampoline or null, this)`; the previous
  // function is released once the C ABI took the new one.
  template <class Set, class Trampoline>
  [[nodiscard]] tilo_status install(Function function, Set set, Trampoline trampoline) {
    std::shared_ptr<Function> next =
        function ? std::make_shared<Function>(std::move(function)) : nullptr;
    const tilo_status status = next ? set(+trampoline, this) : set(nullptr, nullptr);
    if (status == TILO_STATUS_OK) {
      std::lock_guard<std::mutex> lock(mutex_);
      current_.swap(next);
    }
    return status;  // `next` (now the previous function) is released here, unlocked
  }

  template <class... Args>
  static void call(void* context, Args... args) {
    auto& slot = *static_cast<CallbackSlot*>(context);
    std::shared_ptr<Function> keep;
    {
      std::lock_guard<std::mutex> lock(slot.mutex_);
      keep = slot.current_;
    }
    if (keep) (*keep)(args...);
  }

 private:
  std::mutex mutex_;
  std::shared_ptr<Function> current_;
};

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

// Where an object keeps its delegate: a heap block whose address is the C context.
template <class Delegate>
struct DelegateState {
  Delegate delegate;
};
template <class Delegate>
const Delegate& delegateIn(void* state) {
  return static_cast<DelegateState<Delegate>*>(state)->delegate;
}

// An SDK object over its C handle: destroyed with this object, movable, and with its
// delegate in a heap block whose address is the C context, so callbacks follow the object
// through a move. `Derived` is the public class; `Api` supplies the handle and C delegate
// types and the destroy and set-delegate functions.
template <class Derived, class Api, class Delegate>
class OwnedHandle {
 public:
  using Handle = typename Api::Handle;

  OwnedHandle() noexcept = default;  // empty
  ~OwnedHandle() { reset(); }
  OwnedHandle(OwnedHandle&& other) noexcept
      : state_(std::move(other.state_)), handle_(std::exchange(other.handle_, nullptr)) {}
  OwnedHandle& operator=(OwnedHandle&& other) noexcept {
    if (this != &other) {
      reset();
      state_ = std::move(other.state_);
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;

  explicit operator bool() const noexcept { return handle_ != nullptr; }
  Handle* handle() const noexcept { return handle_; }
  // Destroys the object (a view leaves its window; no callback of it comes afterwards) and
  // leaves this one empty.
  // Any thread: off the main thread the destruction happens on its next pump (callbacks
  // may come until then) or at tilo::shutdown().
  void reset() noexcept {
    detail::destroyHandle(std::exchange(handle_, nullptr), &Api::destroy, std::move(state_));
  }
  void setDelegate(Delegate delegate) {
    if (state_) state_->delegate = std::move(delegate);
  }

  static const Delegate& delegate(void* state) { return delegateIn<Delegate>(state); }

 protected:
  // The object over a handle a C *_create returned, or the status of its refusal. `fill`
  // sets the C delegate's entries, which find the delegate again through their context.
  static Expected<Derived> adopt(Handle* handle, void (*fill)(typename Api::CDelegate&)) {
    if (!handle) return Expected<Derived>::failure(tilo_last_status());
    Derived object;
    OwnedHandle& base = object;
    base.state_.reset(new DelegateState<Delegate>());
    base.handle_ = handle;
    typename Api::CDelegate c{};
    c.size = sizeof c;
    fill(c);
    (void)Api::setDelegate(handle, &c, base.state_.get());
    return object;
  }

 private:
  std::unique_ptr<DelegateState<Delegate>> state_;
  Handle* handle_ = nullptr;
};

inline const char* cString(const std::optional<std::string>& value) {
  return value ? value->c_str() : nullptr;
}

// `get(buffer, capacity, length)` is one of the C ABI's string getters.
template <class Get>
std::optional<std::string> readString(Get get) {
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
  [[nodiscard]] static tilo_status setLogLevel(LogLevel level) {
    return tilo_set_log_level(static_cast<int>(level));
  }
  // Every log line goes to `sink` instead of standard output (an empty sink restores it).
  // The sink may be called from any thread. It is kept until it is replaced; a line being
  // written while it is replaced finishes with the one it started with.
  [[nodiscard]] static tilo_status setLogCallback(
      std::function<void(LogLevel, const char* line)> sink) {
    using Sink = detail::CallbackSlot<void(LogLevel, const char*)>;
    Sink& slot = detail::immortal<Sink>();
    return slot.install(
        std::move(sink),
        [](tilo_log_callback trampoline, void* context) {
          return tilo_set_log_callback(trampoline, context);
        },
        [](void* context, tilo_log_level level, const char* line) {
          Sink::call(context, static_cast<LogLevel>(level), line);
        });
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
  [[nodiscard]] static tilo_status setOpenUrlCallback(std::function<void(const char* url)> open) {
    using Open = detail::CallbackSlot<void(const char*)>;
    Open& slot = detail::immortal<Open>();
    return slot.install(
        std::move(open),
        [](tilo_open_url_callback trampoline, void* context) {
          return tilo_set_open_url_callback(trampoline, context);
        },
        [](void* context, const char* url) { Open::call(context, url); });
  }

  // Start-up settings: before the first call that builds the SDK.
  [[nodiscard]] static tilo_status setBundleDirectory(const std::optional<std::string>& path) {
    return tilo_set_bundle_directory(detail::cString(path));
  }
  [[nodiscard]] static tilo_status setApplicationContainer(const std::optional<std::string>& path) {
    return tilo_set_application_container(detail::cString(path));
  }
  [[nodiscard]] static tilo_status setDevelopmentBaseUrl(const std::optional<std::string>& url) {
    return tilo_set_development_base_url(detail::cString(url));
  }
  // At most `count` threads in the SDK's pool, 0 for the default (see tilo_set_max_threads).
  [[nodiscard]] static tilo_status setMaxThreads(int count) { return tilo_set_max_threads(count); }
  // The OpenRTB exchange real ads come from (see tilo_set_demand_url).
  [[nodiscard]] static tilo_status setDemandUrl(const std::optional<std::string>& url) {
    return tilo_set_demand_url(detail::cString(url));
  }

  static std::optional<std::string> userId() { return detail::readString(tilo_get_user_id); }
  [[nodiscard]] static tilo_status setUserId(const std::optional<std::string>& value) {
    return tilo_set_user_id(detail::cString(value));
  }
  static std::optional<bool> hasUserConsent() {
    return detail::readBool(tilo_get_has_user_consent);
  }
  [[nodiscard]] static tilo_status setHasUserConsent(std::optional<bool> value) {
    return tilo_set_has_user_consent(detail::optionalBool(value));
  }
  static std::optional<bool> doNotSell() { return detail::readBool(tilo_get_do_not_sell); }
  [[nodiscard]] static tilo_status setDoNotSell(std::optional<bool> value) {
    return tilo_set_do_not_sell(detail::optionalBool(value));
  }
  static std::optional<bool> isTaggedForChildDirectedTreatment() {
    return detail::readBool(tilo_get_child_directed);
  }
  [[nodiscard]] static tilo_status setIsTaggedForChildDirectedTreatment(std::optional<bool> value) {
    return tilo_set_child_directed(detail::optionalBool(value));
  }
  static std::optional<std::string> gdprConsentString() {
    return detail::readString(tilo_get_gdpr_consent_string);
  }
  [[nodiscard]] static tilo_status setGdprConsentString(const std::optional<std::string>& value) {
    return tilo_set_gdpr_consent_string(detail::cString(value));
  }
  static std::optional<std::string> ccpaString() {
    return detail::readString(tilo_get_ccpa_string);
  }
  [[nodiscard]] static tilo_status setCcpaString(const std::optional<std::string>& value) {
    return tilo_set_ccpa_string(detail::cString(value));
  }
  // Linux has no tracking prompt: not authorized until the host's consent flow says so.
  [[nodiscard]] static tilo_status setTrackingAuthorization(tilo_tracking_authorization status) {
    return tilo_set_tracking_authorization(status);
  }

  // Returns at once; `completion` runs once on the main thread, without an error on success.
  // A shutdown before it runs frees it uncalled.
  [[nodiscard]] static tilo_status initialize(
      std::function<void(std::optional<Error>)> completion) {
    struct Held final : detail::Deferred {
      std::function<void(std::optional<Error>)> completion;
    };
    auto* held = new Held();
    held->completion = std::move(completion);
    detail::DeferredList::keep(held);
    const tilo_status status = tilo_initialize(
        [](void* context, const tilo_error* error) {
          auto* called = static_cast<Held*>(context);
          if (!detail::DeferredList::take(called)) return;
          std::unique_ptr<Held> call(called);
          if (call->completion) {
            call->completion(error ? std::optional<Error>(detail::convert(*error)) : std::nullopt);
          }
        },
        held);
    if (status != TILO_STATUS_OK && detail::DeferredList::take(held)) delete held;
    return status;
  }

  // Delivers callbacks for `seconds` of real time (0: what is due, without waiting; once
  // per frame). Main thread only: the first pump chooses it, a pump from another thread
  // returns TILO_STATUS_WRONG_THREAD.
  [[nodiscard]] static tilo_status runMainLoopFor(double seconds) {
    return tilo_run_main_loop_for(seconds);
  }
  static ApplicationState applicationState() {
    return static_cast<ApplicationState>(tilo_application_get_state());
  }
  // Main thread only. Background makes the SDK save and upload its analytics.
  [[nodiscard]] static tilo_status setApplicationState(ApplicationState state) {
    return tilo_application_set_state(static_cast<int>(state));
  }
  // Main thread only. Lets go of what the SDK can rebuild (fonts, pictures, spare frames).
  [[nodiscard]] static tilo_status didReceiveMemoryWarning() {
    return tilo_application_did_receive_memory_warning();
  }
};

// Ends the SDK for good (see tilo_shutdown): saves, closes every object's handle, joins
// the SDK's threads. Main thread only, never from inside a callback; afterwards every
// call returns TILO_STATUS_SHUT_DOWN. Objects of this header still alive only answer so.
// What waited for the main thread (objects destroyed on other threads, an initialize()
// completion not yet called) is freed here.
[[nodiscard]] inline tilo_status shutdown() noexcept {
  const tilo_status status = tilo_shutdown();
  if (status == TILO_STATUS_OK) detail::DeferredList::releaseAll();
  return status;
}

// A window an engine draws as a texture; full-screen ads are shown from it. Main thread only.
class Window {
 public:
  // A window of `widthPt` × `heightPt` points at `scale` (see tilo_window_create).
  [[nodiscard]] static Expected<Window> create(double widthPt, double heightPt, double scale) {
    tilo_window* handle = tilo_window_create(widthPt, heightPt, scale);
    if (!handle) return Expected<Window>::failure(tilo_last_status());
    Window window;
    window.handle_ = handle;
    return window;
  }

  Window() noexcept = default;  // empty
  ~Window() { reset(); }
  Window(Window&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  Window& operator=(Window&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  explicit operator bool() const noexcept { return handle_ != nullptr; }
  // Destroys the window (see tilo_window_destroy) and leaves this object empty. Any thread:
  // off the main thread the window goes on its next pump.
  void reset() noexcept {
    detail::destroyHandle(std::exchange(handle_, nullptr), &tilo_window_destroy);
  }
  tilo_window* handle() const { return handle_; }
  tilo_view_controller* rootViewController() const {
    return tilo_window_root_view_controller(handle_);
  }
  [[nodiscard]] tilo_status setSafeAreaInsets(double top, double left, double bottom,
                                              double right) {
    return tilo_window_set_safe_area_insets(handle_, top, left, bottom, right);
  }
  [[nodiscard]] tilo_status setAppearance(tilo_appearance appearance) {
    return tilo_window_set_appearance(handle_, appearance);
  }
  std::pair<int, int> pixelSize() const {
    int width = 0, height = 0;
    tilo_window_pixel_size(handle_, &width, &height);
    return {width, height};
  }
  // RGBA8, premultiplied, rows `stride` bytes apart.
  [[nodiscard]] tilo_status renderRGBA(std::uint8_t* buffer, std::size_t stride) {
    return tilo_window_render_rgba(handle_, buffer, stride);
  }
  // Only what changed since the last render into `buffer`, which `damaged` gives in pixels
  // (empty: nothing written). Any thread; see tilo_window_render.
  [[nodiscard]] tilo_status render(std::uint8_t* buffer, std::size_t stride,
                                   tilo_pixel_format format, tilo_rect& damaged) {
    return tilo_window_render(handle_, buffer, stride, format, &damaged);
  }
  // 1 when a view handled the tap, 0 when not, or a negative tilo_status.
  [[nodiscard]] int tap(double x, double y) { return tilo_window_tap(handle_, x, y); }
  // A wheel or drag at (x, y) by (dx, dy) points, positive dy showing what lies further
  // down: 1 when something scrolled, 0 when not, or a negative tilo_status.
  [[nodiscard]] int scroll(double x, double y, double dx, double dy) {
    return tilo_window_scroll(handle_, x, y, dx, dy);
  }

 private:
  tilo_window* handle_ = nullptr;
};

}  // namespace tilo

// The ad kinds, split out to keep each header readable; hosts include only this file.
#include <tilo/TiloFullScreenAds.hpp>
#include <tilo/TiloInspector.hpp>
#include <tilo/TiloViews.hpp>
