// The manager of the C ABI: start-up settings, initialization, identity and privacy, log
// level and log callback, the main-loop pump and the application lifecycle.
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "Tilo/base/ApiBaseUrl.h"
#include "Tilo/base/TiloLogger.h"
#include "Tilo/entry/TiloAds.h"
#include "TiloObjCBridge/BridgeValues.h"
#include "TiloObjCBridge/TiloObjCWindow.h"
#include "mediation/demand/Demand.h"
#include "platform/AppContainer.h"
#include "platform/Application.h"
#include "platform/Bundle.h"
#include "platform/Device.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/MainLoop.h"
#include "platform/Url.h"
#include "tilo/tilo.h"

#ifndef TILO_VERSION_STRING
#define TILO_VERSION_STRING "0.0.0"
#endif

namespace tilo::bridge {
namespace {

using tilo::TiloAds;

tilo_status setOptionalBool(int value, void (TiloAds::*setter)(std::optional<bool>)) noexcept {
  if (value != TILO_UNSET && value != TILO_NO && value != TILO_YES) {
    return TILO_STATUS_INVALID_ARGUMENT;
  }
  if (auto status = ensureSdk(); status != TILO_STATUS_OK) return status;
  return guarded([&] {
    auto* ads = TiloAds::shared();
    if (!ads) return TILO_STATUS_NOT_CONFIGURED;
    (ads->*setter)(value == TILO_UNSET ? std::nullopt : std::optional(value == TILO_YES));
    return TILO_STATUS_OK;
  });
}

tilo_status getOptionalBool(int* out, std::optional<bool> (TiloAds::*getter)() const) noexcept {
  if (!out) return TILO_STATUS_NULL_ARGUMENT;
  if (auto status = ensureSdk(); status != TILO_STATUS_OK) return status;
  return guarded([&] {
    auto* ads = TiloAds::shared();
    if (!ads) return TILO_STATUS_NOT_CONFIGURED;
    const auto value = (ads->*getter)();
    *out = !value ? TILO_UNSET : (*value ? TILO_YES : TILO_NO);
    return TILO_STATUS_OK;
  });
}

tilo_status setOptionalString(const char* value,
                              void (TiloAds::*setter)(std::optional<std::string>)) noexcept {
  if (value) {
    if (auto status = checkString(value, false); status != TILO_STATUS_OK) return status;
  }
  if (auto status = ensureSdk(); status != TILO_STATUS_OK) return status;
  return guarded([&] {
    auto* ads = TiloAds::shared();
    if (!ads) return TILO_STATUS_NOT_CONFIGURED;
    (ads->*setter)(value ? std::optional<std::string>(value) : std::nullopt);
    return TILO_STATUS_OK;
  });
}

tilo_status getOptionalString(char* buffer, size_t capacity, int64_t* length,
                              std::optional<std::string> (TiloAds::*getter)() const) noexcept {
  if (!length || (!buffer && capacity > 0)) return TILO_STATUS_NULL_ARGUMENT;
  if (auto status = ensureSdk(); status != TILO_STATUS_OK) return status;
  return guarded([&] {
    auto* ads = TiloAds::shared();
    if (!ads) return TILO_STATUS_NOT_CONFIGURED;
    return copyOptionalString((ads->*getter)(), buffer, capacity, length);
  });
}

// Start-up settings apply only while the SDK is not built; the check and the change are
// one step, so a concurrent first use cannot slip in between unnoticed... except through
// TiloAds::shared() itself, which reads them once under its own lock.
std::mutex startupMutex;

template <class Apply>
tilo_status beforeStartup(const char* value, Apply apply) noexcept {
  if (value) {
    if (auto status = checkString(value, true); status != TILO_STATUS_OK) return status;
  }
  // Before the lock: in a forked child a parent thread may hold it.
  if (auto life = lifeStatus(); life != TILO_STATUS_OK) return life;
  return guarded([&] {
    std::lock_guard lock(startupMutex);
    if (auto life = lifeStatus(); life != TILO_STATUS_OK) return life;
    if (TiloAds::isSharedBuilt()) return TILO_STATUS_ALREADY_STARTED;
    return apply(value ? std::optional<std::string>(value) : std::nullopt);
  });
}

struct LogCallback {
  tilo_log_callback callback;
  void* context;
};

}  // namespace
}  // namespace tilo::bridge

using namespace tilo::bridge;

extern "C" {

const char* tilo_status_name(int status) {
  switch (status) {
#define TILO_NAME(value) \
  case value:            \
    return #value;
    TILO_NAME(TILO_STATUS_OK)
    TILO_NAME(TILO_STATUS_INVALID_ARGUMENT)
    TILO_NAME(TILO_STATUS_INTERNAL_ERROR)
    TILO_NAME(TILO_STATUS_NULL_ARGUMENT)
    TILO_NAME(TILO_STATUS_EMPTY_STRING)
    TILO_NAME(TILO_STATUS_INVALID_UTF8)
    TILO_NAME(TILO_STATUS_INVALID_HANDLE)
    TILO_NAME(TILO_STATUS_WRONG_HANDLE_TYPE)
    TILO_NAME(TILO_STATUS_DELEGATE_TOO_SMALL)
    TILO_NAME(TILO_STATUS_MISSING_CALLBACK)
    TILO_NAME(TILO_STATUS_WRONG_THREAD)
    TILO_NAME(TILO_STATUS_ALREADY_STARTED)
    TILO_NAME(TILO_STATUS_BUFFER_TOO_SMALL)
    TILO_NAME(TILO_STATUS_TOO_LARGE)
    TILO_NAME(TILO_STATUS_NOT_CONFIGURED)
    TILO_NAME(TILO_STATUS_ALREADY_RECORDED)
    TILO_NAME(TILO_STATUS_NOT_SHOWN)
    TILO_NAME(TILO_STATUS_SHUT_DOWN)
    TILO_NAME(TILO_STATUS_IN_CALLBACK)
    TILO_NAME(TILO_STATUS_UNAVAILABLE)
    TILO_NAME(TILO_STATUS_AD_SHOWING)
    TILO_NAME(TILO_STATUS_FORKED)
#undef TILO_NAME
  }
  return "TILO_STATUS_UNKNOWN";
}

tilo_status tilo_last_status(void) {
  return lastStatus();
}

const char* tilo_last_error_message(void) {
  return lastErrorMessage();
}

const char* tilo_version(void) {
  return TILO_VERSION_STRING;
}

uint32_t tilo_version_number(void) {
  return TILO_LIBRARY_VERSION_NUMBER;  // the project's version, as the build computed it
}

tilo_status tilo_set_log_level(int level) {
  if (auto life = lifeStatus(); life != TILO_STATUS_OK) return life;
  auto parsed = tilo::tiloLogLevelFromRawValue(level);
  if (!parsed) return TILO_STATUS_INVALID_ARGUMENT;
  // The logger's level, not TiloAds: setting it must not build the SDK, so that the
  // lines of its construction show.
  tilo::setCurrentLogLevel(*parsed);
  return TILO_STATUS_OK;
}

tilo_log_level tilo_get_log_level(void) {
  return static_cast<tilo_log_level>(tilo::currentLogLevel());
}

tilo_status tilo_set_log_callback(tilo_log_callback callback, void* context) {
  if (auto life = lifeStatus(); life != TILO_STATUS_OK) return life;
  return guarded([&] {
    if (!callback) {
      tilo::setLogSink(nullptr);
    } else {
      tilo::setLogSink([callback, context](tilo::TiloLogLevel level, const std::string& line) {
        HostCallbackScope inCallback;
        callback(context, static_cast<tilo_log_level>(level), line.c_str());
      });
    }
    return TILO_STATUS_OK;
  });
}

tilo_status tilo_set_bundle_directory(const char* path) {
  return beforeStartup(path, [](std::optional<std::string> value) {
    tilo::platform::Bundle::setMainBundleDirectory(
        value ? std::optional<std::filesystem::path>(*value) : std::nullopt);
    return TILO_STATUS_OK;
  });
}

tilo_status tilo_set_application_container(const char* path) {
  return beforeStartup(path, [](std::optional<std::string> value) {
    tilo::platform::AppContainer::setPath(value ? std::optional<std::filesystem::path>(*value)
                                                : std::nullopt);
    return TILO_STATUS_OK;
  });
}

tilo_status tilo_set_development_base_url(const char* url) {
  if (url && checkString(url, true) == TILO_STATUS_OK && !tilo::isAcceptableApiBaseUrl(url)) {
    return TILO_STATUS_INVALID_ARGUMENT;
  }
  return beforeStartup(url, [](std::optional<std::string> value) {
    tilo::setApiBaseUrlOverride(std::move(value));
    return TILO_STATUS_OK;
  });
}

tilo_status tilo_set_max_threads(int count) {
  if (count < 0 || count > TILO_MAX_THREADS_LIMIT) return TILO_STATUS_INVALID_ARGUMENT;
  if (auto life = lifeStatus(); life != TILO_STATUS_OK) return life;
  return tilo::platform::setPoolThreadLimit(static_cast<unsigned>(count))
             ? TILO_STATUS_OK
             : TILO_STATUS_ALREADY_STARTED;
}

tilo_status tilo_set_demand_url(const char* url) {
  if (url && checkString(url, true) == TILO_STATUS_OK &&
      !tilo::platform::isAcceptableServiceUrl(url)) {
    return TILO_STATUS_INVALID_ARGUMENT;
  }
  return beforeStartup(url, [](std::optional<std::string> value) {
    (void)tilo::mediation::demand::Demand::setDemandUrl(std::move(value));  // checked above
    return TILO_STATUS_OK;
  });
}

tilo_status tilo_initialize(tilo_initialize_callback callback, void* context) {
  // Called, even when refused below: the refusal already told the host why, and a load's
  // timeout must not claim it never came.
  markInitializeCalled();
  if (auto status = ensureSdk(); status != TILO_STATUS_OK) return status;
  // Without libcurl there is no backend to initialize against.
  if (auto status = requireLibraries(tilo::platform::SystemFeature::network);
      status != TILO_STATUS_OK) {
    return status;
  }
  return guarded([&] {
    // Built here, so that a failure to build is this call's status.
    if (!TiloAds::shared()) return TILO_STATUS_NOT_CONFIGURED;
    // Starts as a task of the main loop: privacy choices the host sets right after this
    // call, in the same turn, are part of the snapshot the networks receive.
    tilo::platform::postToMain([callback, context] {
      // A shutdown came first: the start ends unreported (the SDK cannot be built again,
      // and no callback follows a shutdown).
      auto* ads = TiloAds::isShutDown() ? nullptr : TiloAds::shared();
      if (!ads) return;
      ads->initialized([callback, context](std::optional<tilo::TiloError> error) {
        if (!callback) return;
        HostCallbackScope inCallback;
        if (!error) return callback(context, nullptr);
        const CError converted = CError::from(*error);
        callback(context, converted.get());
      });
    });
    return TILO_STATUS_OK;
  });
}

tilo_status tilo_set_user_id(const char* user_id) {
  return setOptionalString(user_id, &TiloAds::setUserId);
}
tilo_status tilo_set_has_user_consent(int value) {
  return setOptionalBool(value, &TiloAds::setHasUserConsent);
}
tilo_status tilo_set_do_not_sell(int value) {
  return setOptionalBool(value, &TiloAds::setDoNotSell);
}
tilo_status tilo_set_child_directed(int value) {
  return setOptionalBool(value, &TiloAds::setIsTaggedForChildDirectedTreatment);
}
tilo_status tilo_set_gdpr_consent_string(const char* value) {
  return setOptionalString(value, &TiloAds::setGdprConsentString);
}
tilo_status tilo_set_ccpa_string(const char* value) {
  return setOptionalString(value, &TiloAds::setCcpaString);
}
tilo_status tilo_get_has_user_consent(int* value) {
  return getOptionalBool(value, &TiloAds::hasUserConsent);
}
tilo_status tilo_get_do_not_sell(int* value) {
  return getOptionalBool(value, &TiloAds::doNotSell);
}
tilo_status tilo_get_child_directed(int* value) {
  return getOptionalBool(value, &TiloAds::isTaggedForChildDirectedTreatment);
}
tilo_status tilo_get_user_id(char* buffer, size_t capacity, int64_t* length) {
  return getOptionalString(buffer, capacity, length, &TiloAds::userId);
}
tilo_status tilo_get_gdpr_consent_string(char* buffer, size_t capacity, int64_t* length) {
  return getOptionalString(buffer, capacity, length, &TiloAds::gdprConsentString);
}
tilo_status tilo_get_ccpa_string(char* buffer, size_t capacity, int64_t* length) {
  return getOptionalString(buffer, capacity, length, &TiloAds::ccpaString);
}

tilo_status tilo_set_tracking_authorization(int status) {
  using Status = tilo::platform::TrackingAuthorizationStatus;
  if (auto life = lifeStatus(); life != TILO_STATUS_OK) return life;
  if (status < static_cast<int>(Status::notDetermined) ||
      status > static_cast<int>(Status::authorized)) {
    return TILO_STATUS_INVALID_ARGUMENT;
  }
  return guarded([&] {
    tilo::platform::setTrackingAuthorizationStatus(static_cast<Status>(status));
    return TILO_STATUS_OK;
  });
}

tilo_status tilo_run_main_loop_for(double seconds) {
  if (auto life = lifeStatus(); life != TILO_STATUS_OK) return life;
  // The main thread, once chosen, never changes: a pump elsewhere would make a second one.
  if (!onMainThread()) return TILO_STATUS_WRONG_THREAD;
  if (!std::isfinite(seconds) || seconds < 0) return TILO_STATUS_INVALID_ARGUMENT;
  return guarded([&] {
    HostCallbackScope inCallbacks;  // every delegate runs inside the pump
    if (!tilo::platform::MainLoop::shared()->runFor(seconds)) return TILO_STATUS_WRONG_THREAD;
    // What render threads copy until the next pump.
    tilo::bridge::TiloObjCWindow::publishForRenderThreads();
    return TILO_STATUS_OK;
  });
}

tilo_status tilo_run_on_main_thread(tilo_main_thread_task task, void* context) {
  if (!task) return TILO_STATUS_NULL_ARGUMENT;
  if (auto life = lifeStatus(); life != TILO_STATUS_OK) return life;
  return guarded([&] {
    tilo::platform::postToMain([task, context] {
      HostCallbackScope inCallback;
      task(context);
    });
    return TILO_STATUS_OK;
  });
}

tilo_status tilo_application_set_state(int state) {
  if (auto life = lifeStatus(); life != TILO_STATUS_OK) return life;
  if (!onMainThread()) return TILO_STATUS_WRONG_THREAD;
  if (state < TILO_APPLICATION_ACTIVE || state > TILO_APPLICATION_BACKGROUND) {
    return TILO_STATUS_INVALID_ARGUMENT;
  }
  return guarded([&] {
    tilo::platform::Application::shared().setState(
        static_cast<tilo::platform::ApplicationState>(state));
    return TILO_STATUS_OK;
  });
}

tilo_status tilo_application_did_receive_memory_warning(void) {
  if (auto life = lifeStatus(); life != TILO_STATUS_OK) return life;
  if (!onMainThread()) return TILO_STATUS_WRONG_THREAD;
  return guarded([] {
    tilo::platform::Application::shared().didReceiveMemoryWarning();
    return TILO_STATUS_OK;
  });
}

tilo_application_state tilo_application_get_state(void) {
  return static_cast<tilo_application_state>(tilo::platform::Application::shared().state());
}

}  // extern "C"
