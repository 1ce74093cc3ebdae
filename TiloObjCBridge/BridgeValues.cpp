#include "TiloObjCBridge/BridgeValues.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <utility>

#include "Tilo/base/ConfigurationError.h"
#include "Tilo/base/TiloLogger.h"
#include "Tilo/entry/TiloAds.h"
#include "Tilo/entry/TiloService.h"
#include "mediation/demand/Demand.h"
#include "platform/Environment.h"

namespace tilo::bridge {

bool isValidUtf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    const unsigned char c = *p;
    int length;
    std::uint32_t code;
    if (c < 0x80) {
      ++p;
      continue;
    } else if ((c & 0xe0) == 0xc0) {
      length = 2;
      code = c & 0x1f;
    } else if ((c & 0xf0) == 0xe0) {
      length = 3;
      code = c & 0x0f;
    } else if ((c & 0xf8) == 0xf0) {
      length = 4;
      code = c & 0x07;
    } else {
      return false;
    }
    if (end - p < length) return false;
    for (int i = 1; i < length; ++i) {
      if ((p[i] & 0xc0) != 0x80) return false;
      code = (code << 6) | (p[i] & 0x3f);
    }
    static constexpr std::uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kMinimum[length] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) {
      return false;
    }
    p += length;
  }
  return true;
}

tilo_status checkString(const char* text, bool required) {
  if (!text) return TILO_STATUS_NULL_ARGUMENT;
  if (required && !*text) return TILO_STATUS_EMPTY_STRING;
  if (!isValidUtf8(text)) return TILO_STATUS_INVALID_UTF8;
  return TILO_STATUS_OK;
}

std::int64_t bridgeFormat(TiloAdFormat format) {
  switch (format) {
    case TiloAdFormat::banner:
    case TiloAdFormat::mrec:
      return TILO_AD_FORMAT_BANNER;
    case TiloAdFormat::interstitial:
      return TILO_AD_FORMAT_INTERSTITIAL;
    case TiloAdFormat::rewarded:
      return TILO_AD_FORMAT_REWARDED;
    case TiloAdFormat::native:
    case TiloAdFormat::lightPopup:
      return TILO_AD_FORMAT_NATIVE;
    case TiloAdFormat::appOpen:
      return TILO_AD_FORMAT_APP_OPEN;
  }
  return TILO_AD_FORMAT_NONE;
}

namespace {
// Plain values only (see HeldLockScope): the message lives on the heap while there is one.
thread_local tilo_status lastStatusValue = TILO_STATUS_OK;
thread_local std::string* lastErrorMessageValue = nullptr;
thread_local int hostCallbackDepth = 0;
std::atomic<bool> shutDown{false};
}  // namespace

void setLastErrorMessage(std::string message) {
  if (message.empty()) {
    delete std::exchange(lastErrorMessageValue, nullptr);
    return;
  }
  if (!lastErrorMessageValue) lastErrorMessageValue = new std::string();
  *lastErrorMessageValue = std::move(message);
}

const char* lastErrorMessage() {
  return lastErrorMessageValue ? lastErrorMessageValue->c_str() : "";
}

bool isShutDown() {
  return lifeStatus() != TILO_STATUS_OK;
}

tilo_status lifeStatus() {
  if (platform::isForkedChild()) return TILO_STATUS_FORKED;
  return shutDown.load(std::memory_order_acquire) ? TILO_STATUS_SHUT_DOWN : TILO_STATUS_OK;
}

tilo_status requireLibraries(platform::SystemFeature feature) noexcept {
  std::optional<platform::MissingLibrary> missing;
  try {
    missing = platform::missingLibrary(feature);
    if (!missing) return TILO_STATUS_OK;
    std::string message = missing->message();
    log(message, TiloLogLevel::error);
    setLastErrorMessage(std::move(message));
  } catch (...) {
  }
  return TILO_STATUS_UNAVAILABLE;
}

void markShutDown() {
  shutDown.store(true, std::memory_order_release);
}

void resetShutDownForTesting() {
  shutDown.store(false, std::memory_order_release);
}

HostCallbackScope::HostCallbackScope() {
  ++hostCallbackDepth;
}

HostCallbackScope::~HostCallbackScope() {
  --hostCallbackDepth;
}

bool insideHostCallback() {
  return hostCallbackDepth > 0;
}

tilo_status ensureSdk() noexcept {
  if (auto status = lifeStatus(); status != TILO_STATUS_OK) return status;
  // The key file and the event store need libcrypto.
  if (!TiloAds::isSharedBuilt()) {
    if (auto status = requireLibraries(platform::SystemFeature::security);
        status != TILO_STATUS_OK) {
      return status;
    }
  }
  installOpenUrlHandler();
  // A log callback that calls in while a failing start logs would start it again, and
  // that start's lines would call in again: inside a check, an unbuilt SDK stays unbuilt.
  static thread_local int checking = 0;
  if (checking > 0 && !TiloAds::isSharedBuilt()) {
    setLastErrorMessage("The SDK is not configured: called from a log line of a start that failed");
    return TILO_STATUS_NOT_CONFIGURED;
  }
  struct Depth {
    Depth() { ++checking; }
    ~Depth() { --checking; }
  } depth;
  std::string problem;
  try {
    const bool built = TiloAds::isSharedBuilt();
    auto started = TiloAds::sharedOrError();
    if (started) {
      if (!built) {
        startTestScenario();
        // The exchange hears of the store page from the key file's configuration.
        mediation::demand::Demand::setStoreUrl(started.value()->core()->config().storeURL);
      }
      setLastErrorMessage({});
      return TILO_STATUS_OK;
    }
    problem = started.error()->description();
  } catch (...) {  // bad_alloc while building
    return TILO_STATUS_INTERNAL_ERROR;
  }
  return guarded([&] {
    log(problem, TiloLogLevel::error);
    setLastErrorMessage(std::move(problem));
    return TILO_STATUS_NOT_CONFIGURED;
  });
}

void setLastStatus(tilo_status status) {
  lastStatusValue = status;
}

tilo_status lastStatus() {
  return lastStatusValue;
}

bool onMainThread() {
  return platform::isMainThread();
}

CAdInfo::CAdInfo(const std::optional<TiloAdInfo>& info) {
  if (!info) return;
  info_.struct_size = sizeof info_;
  unitId_ = info->adUnitId;
  // An empty name means the response named no network.
  if (info->adNetwork && !info->adNetwork->empty()) network_ = info->adNetwork;
  info_.ad_format = bridgeFormat(info->adFormat);
  info_.ad_unit_id = unitId_.c_str();
  info_.has_latency = info->latency ? 1 : 0;
  info_.latency_ms = info->latency.value_or(0);
  info_.ad_network = network_ ? network_->c_str() : nullptr;
  present_ = true;
}

tilo_status copyOptionalString(const std::optional<std::string>& value, char* buffer,
                               std::size_t capacity, std::int64_t* length) {
  if (!value) {
    *length = -1;
    if (capacity > 0) buffer[0] = '\0';
    return TILO_STATUS_OK;
  }
  *length = static_cast<std::int64_t>(value->size());
  if (capacity < value->size() + 1) return TILO_STATUS_BUFFER_TOO_SMALL;
  std::memcpy(buffer, value->c_str(), value->size() + 1);
  return TILO_STATUS_OK;
}

tilo_status checkPixelRows(const void* buffer, std::size_t stride, int width, int height) {
  constexpr std::size_t kMax = std::numeric_limits<std::size_t>::max();
  const std::size_t rowBytes = static_cast<std::size_t>(std::max(width, 0)) * 4;
  const std::size_t rows = static_cast<std::size_t>(std::max(height, 0));
  if (stride < rowBytes) return TILO_STATUS_BUFFER_TOO_SMALL;
  if (rows > 0 && stride > kMax / rows) return TILO_STATUS_TOO_LARGE;
  if (stride * rows >
      std::numeric_limits<std::uintptr_t>::max() - reinterpret_cast<std::uintptr_t>(buffer)) {
    return TILO_STATUS_TOO_LARGE;
  }
  return TILO_STATUS_OK;
}

bool pixelFormatFrom(int pixelFormat, platform::PixelFormat& format) {
  switch (pixelFormat) {
    case TILO_PIXEL_FORMAT_RGBA:
      format = platform::PixelFormat::rgba;
      return true;
    case TILO_PIXEL_FORMAT_RGBA_PREMULTIPLIED:
      format = platform::PixelFormat::rgbaPremultiplied;
      return true;
    case TILO_PIXEL_FORMAT_BGRA_PREMULTIPLIED:
      format = platform::PixelFormat::bgraPremultiplied;
      return true;
    default:
      return false;
  }
}

void writeAdInfo(const tilo_ad_info& info, tilo_ad_info* out) {
  const std::size_t size = std::min(out->struct_size, sizeof info);
  std::memcpy(out, &info, size);  // fields beyond the host's struct are left out
  out->struct_size = size;
}

CError::CError(std::string domain, std::int64_t code, std::string message,
               std::optional<std::string> adUnitId, std::optional<std::int64_t> format)
    : domain_(std::move(domain)), message_(std::move(message)), adUnitId_(std::move(adUnitId)) {
  error_.struct_size = sizeof error_;
  error_.domain = domain_.c_str();
  error_.code = code;
  error_.message = message_.c_str();
  error_.ad_unit_id = adUnitId_ ? adUnitId_->c_str() : nullptr;
  error_.ad_format = format.value_or(TILO_AD_FORMAT_NONE);
}

namespace {
std::atomic<bool> initializeCalled{false};
}  // namespace

void markInitializeCalled() {
  initializeCalled.store(true);
}

std::string hostMessage(const TiloError& error) {
  if (initializeCalled.load() || error.code() != TiloError::Code::initializationFailed ||
      error.message() != "Timeout occurred") {
    return error.message();
  }
  return error.message() + ": tilo_initialize was never called; call it before loading ads";
}

CError CError::from(const TiloError& error, std::optional<std::string> adUnitId,
                    std::optional<std::int64_t> format) {
  return CError(TILO_ERROR_DOMAIN, static_cast<std::int64_t>(error.code()), hostMessage(error),
                std::move(adUnitId), format);
}

CRewardedItem::CRewardedItem(const TiloRewardedItem& item) : type_(item.rewardType) {
  item_.amount = item.amount;
  item_.reward_type = type_.c_str();
}

CRevenue::CRevenue(const TiloRevenueInfo& revenue)
    : value_(revenue.value.description()), currency_(revenue.currencyCode) {
  revenue_.value = value_.c_str();
  revenue_.currency_code = currency_.c_str();
  revenue_.precision = static_cast<int>(revenue.precisionType);
}

}  // namespace tilo::bridge
