// The C views of the SDK's values and the checks every C entry point shares.
//
//   if (tilo_status s = checkIdentifier(unit_id); s != TILO_STATUS_OK) return fail(s);
//   CAdInfo info(ad->adInfo());          // owns the strings the tilo_ad_info points into
//   delegate.did_load(context, handle, info.get());
//
// The C structs point into these objects, which live for one callback.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Tilo/base/TiloAdInfo.h"
#include "Tilo/base/TiloError.h"
#include "Tilo/base/TiloRevenueInfo.h"
#include "Tilo/base/TiloRewardedItem.h"
#include "platform/SystemLibraries.h"
#include "platform/ui/PixelFormat.h"
#include "tilo/tilo.h"

namespace tilo::bridge {

inline constexpr const char* kAdNotReadyMessage = "Ad is not ready to show";

// Strict UTF-8: no overlong forms, surrogates or code points above U+10FFFF.
bool isValidUtf8(std::string_view text);
// NULL, then UTF-8; `required` refuses "" as well.
tilo_status checkString(const char* text, bool required);
inline tilo_status checkIdentifier(const char* text) {
  return checkString(text, true);
}

// The integer format hosts of the bridge see: banner and MREC 0, interstitial 1,
// rewarded 2, native and light popup 3, app open 4.
std::int64_t bridgeFormat(TiloAdFormat format);

// The status a NULL-returning call leaves for tilo_last_status (per thread).
void setLastStatus(tilo_status status);
tilo_status lastStatus();

// The reason tilo_last_error_message gives on this thread ("" for none).
void setLastErrorMessage(std::string message);
const char* lastErrorMessage();

// Builds the SDK unless it is built. When the bundle or key file cannot start it, the
// reason goes to tilo_last_error_message and to the log (error level) and the result is
// TILO_STATUS_NOT_CONFIGURED: a host's configuration mistake never ends its process.
tilo_status ensureSdk() noexcept;

// Routes the platform's URL opener to the host's open-URL callback (logging a click's
// destination while there is none). Done by the first call that starts the SDK, makes a
// window or sets the callback, not when the library loads; then does nothing.
void installOpenUrlHandler();

// Loads the scenario of TILO_TEST_SCENARIO into the test ad source, unless the host set one
// in code since the SDK was last built; a bad file is logged and changes nothing. From then
// on, each app info published is checked against the scenario's units (an error line names
// those it lacks). Called when the C ABI builds the SDK.
void startTestScenario();
// Ends that check; tilo_shutdown calls it.
void stopTestScenarioCheck();

// Whether this is the thread that runs (or will run) the main loop.
bool onMainThread();

// The SDK's one life in a process: from tilo_shutdown on every call that needs it says
// TILO_STATUS_SHUT_DOWN. A host that wants it again unloads the library and loads it anew.
// In a child forked after the SDK's threads started, the life is the parent's: calls say
// TILO_STATUS_FORKED and touch nothing (a lock a parent thread held stays held).
bool isShutDown();  // either
// TILO_STATUS_FORKED, TILO_STATUS_SHUT_DOWN, or TILO_STATUS_OK while the SDK may be used.
tilo_status lifeStatus();

// TILO_STATUS_OK when every system library of `feature` can be used; else
// TILO_STATUS_UNAVAILABLE, with the library and why in tilo_last_error_message and the
// same text as an error log line.
tilo_status requireLibraries(platform::SystemFeature feature) noexcept;
void markShutDown();
// Tests of one process only: the next build starts a new life.
void resetShutDownForTesting();

// Open while the SDK may call the host on this thread (a pump delivering callbacks, a
// log line reaching the host's callback): tilo_shutdown refuses to run inside one, since
// it would free what the caller is running in.
class HostCallbackScope {
 public:
  HostCallbackScope();
  ~HostCallbackScope();
  HostCallbackScope(const HostCallbackScope&) = delete;
  HostCallbackScope& operator=(const HostCallbackScope&) = delete;
};
bool insideHostCallback();

// Drops the host's open-URL callback (at shutdown: no host pointer is kept past it).
void forgetOpenUrlCallback();
// The same for the ad inspector's close callback.
void forgetAdInspectorCloseCallback();

// The end of the fields of tilo_ad_info that every version has: a host's struct_size below
// it is refused. Fields added later go after it, so this stays where it is.
inline constexpr std::size_t kAdInfoFirstSize =
    offsetof(tilo_ad_info, ad_network) + sizeof(tilo_ad_info::ad_network);

// Copies `info` into the host's `out`, as much as out->struct_size declares (from
// kAdInfoFirstSize to sizeof(tilo_ad_info)), and sets out->struct_size to what it wrote.
void writeAdInfo(const tilo_ad_info& info, tilo_ad_info* out);

// A string getter's answer: `value` with its NUL into `buffer` (`capacity` bytes; the
// caller checked that a NULL buffer comes with capacity 0), its length into *length (-1
// for none, then "" when it fits); TILO_STATUS_BUFFER_TOO_SMALL with *length set when it
// does not fit.
tilo_status copyOptionalString(const std::optional<std::string>& value, char* buffer,
                               std::size_t capacity, std::int64_t* length);

// The one check of the pixel rows a caller hands to be written (windows, native ad images):
// `height` rows of `width` 4-byte pixels, `stride` bytes apart from `buffer`. A stride
// below width × 4 is TILO_STATUS_BUFFER_TOO_SMALL; rows that would pass the end of the
// address space (a huge or "negative" stride, whose products wrap around and land before
// the buffer) are TILO_STATUS_TOO_LARGE. `height` × `stride` bytes are then addressable.
tilo_status checkPixelRows(const void* buffer, std::size_t stride, int width, int height);

// A tilo_pixel_format as the renderer's; false for an unknown value.
bool pixelFormatFrom(int pixelFormat, platform::PixelFormat& format);

// tilo_initialize ran at least once in this process.
void markInitializeCalled();
// The message of `error` as a host receives it: the SDK's own, and for a unit wait that ran
// out ("Timeout occurred") while tilo_initialize had never been called, why.
std::string hostMessage(const TiloError& error);

class CAdInfo {
 public:
  explicit CAdInfo(const std::optional<TiloAdInfo>& info);
  CAdInfo(const CAdInfo&) = delete;
  CAdInfo& operator=(const CAdInfo&) = delete;
  const tilo_ad_info* get() const { return present_ ? &info_ : nullptr; }

 private:
  std::string unitId_;
  std::optional<std::string> network_;
  tilo_ad_info info_{};
  bool present_ = false;
};

class CError {
 public:
  // An error of `domain` with the code and message; `adUnitId` and `format` (when given)
  // are the user-info entries the full-screen ads add.
  CError(std::string domain, std::int64_t code, std::string message,
         std::optional<std::string> adUnitId = std::nullopt,
         std::optional<std::int64_t> format = std::nullopt);
  // The SDK error's raw code and message.
  static CError from(const TiloError& error, std::optional<std::string> adUnitId = std::nullopt,
                     std::optional<std::int64_t> format = std::nullopt);
  CError(const CError&) = delete;
  CError& operator=(const CError&) = delete;
  const tilo_error* get() const { return &error_; }

 private:
  std::string domain_, message_;
  std::optional<std::string> adUnitId_;
  tilo_error error_{};
};

class CRewardedItem {
 public:
  explicit CRewardedItem(const TiloRewardedItem& item);
  CRewardedItem(const CRewardedItem&) = delete;
  CRewardedItem& operator=(const CRewardedItem&) = delete;
  const tilo_rewarded_item* get() const { return &item_; }

 private:
  std::string type_;
  tilo_rewarded_item item_{};
};

class CRevenue {
 public:
  explicit CRevenue(const TiloRevenueInfo& revenue);
  CRevenue(const CRevenue&) = delete;
  CRevenue& operator=(const CRevenue&) = delete;
  const tilo_revenue* get() const { return &revenue_; }

 private:
  std::string value_, currency_;
  tilo_revenue revenue_{};
};

// Runs `body`, turning anything it throws into TILO_STATUS_INTERNAL_ERROR.
template <class Body>
auto guarded(Body&& body) noexcept -> decltype(body()) {
  try {
    return body();
  } catch (...) {
    return static_cast<decltype(body())>(TILO_STATUS_INTERNAL_ERROR);
  }
}

}  // namespace tilo::bridge
