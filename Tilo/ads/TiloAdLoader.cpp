#include "Tilo/ads/TiloAdLoader.h"

#include "Tilo/base/TiloLogger.h"
#include "Tilo/networks/ErrorConversion.h"
#include "Tilo/telemetry/AdEventLogger.h"
#include "mediation/APSAdMobUtils.h"

namespace tilo {
namespace {

// Amazon's format values; app-open ads never ask for Amazon extras.
std::optional<long> apsAdFormat(TiloAdFormat format) {
  switch (format) {
    case TiloAdFormat::banner:
      return 0;
    case TiloAdFormat::mrec:
      return 1;
    case TiloAdFormat::interstitial:
      return 3;
    case TiloAdFormat::rewarded:
      return 4;
    default:
      return std::nullopt;
  }
}

std::string formatName(TiloAdFormat format) {
  return std::string(rawValue(format));
}

// A load's debug lines are built only when they will be printed: loads are frequent.
bool debugLogging() {
  return currentLogLevel() == TiloLogLevel::debug;
}

}  // namespace

std::shared_ptr<mediation::GADRequest> beginPlatformLoad(
    TiloAdFormat format, const TiloAdUnitItem& item,
    const std::optional<std::string>& apsSlotUUID) {
  if (debugLogging()) log("📱 " + formatName(format) + " 광고 로드 시작", TiloLogLevel::debug);
  logEvent(AdLogEventType::adRequest, TiloAdInfo{format, item.tiloAdUnitId, {}, {}});
  auto request = mediation::GADRequest::create();
  const auto amazonFormat = apsAdFormat(format);
  if (apsSlotUUID && amazonFormat) {
    if (auto extras = mediation::APSAdMobUtils::extrasWithSlotUUID(*apsSlotUUID, *amazonFormat)) {
      request->registerAdNetworkExtras(extras);
    }
  }
  return request;
}

void reportPlatformLoadSuccess(TiloAdFormat format, const TiloAdUnitItem& item,
                               const mediation::GADResponseInfo& responseInfo) {
  if (debugLogging()) log("✅ " + formatName(format) + " 광고 로드 성공", TiloLogLevel::debug);
  logEvent(AdLogEventType::adResponse, makeAdInfo(format, item.tiloAdUnitId, responseInfo));
}

TiloError reportPlatformLoadFailure(TiloAdFormat format, const TiloAdUnitItem& item,
                                    const mediation::NSError& error) {
  TiloError tiloError = toTiloError(error);
  log("❌ " + formatName(format) + " 광고 로드 실패: " + TiloError::caseName(tiloError.code()) +
          ", " + tiloError.message(),
      TiloLogLevel::error);
  logEvent(AdLogEventType::adResponseError, TiloAdInfo{format, item.tiloAdUnitId, {}, {}},
           toAdResError(error));
  return tiloError;
}

}  // namespace tilo
