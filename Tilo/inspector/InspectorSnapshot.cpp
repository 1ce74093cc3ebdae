#include "Tilo/inspector/InspectorSnapshot.h"

#include <algorithm>

#include "Tilo/backend/TiloApi.h"
#include "Tilo/base/SdkVersion.h"
#include "Tilo/base/TiloKeyManager.h"
#include "Tilo/base/TiloLogger.h"
#include "Tilo/entry/TiloAds.h"
#include "Tilo/entry/TiloService.h"
#include "mediation/AdSource.h"
#include "mediation/demand/Demand.h"
#include "platform/Device.h"
#include "platform/Environment.h"

namespace tilo::inspector {
namespace {

const char* trackingName(platform::TrackingAuthorizationStatus status) {
  switch (status) {
    case platform::TrackingAuthorizationStatus::restricted:
      return "restricted";
    case platform::TrackingAuthorizationStatus::denied:
      return "denied";
    case platform::TrackingAuthorizationStatus::authorized:
      return "authorized";
    case platform::TrackingAuthorizationStatus::notDetermined:
      break;
  }
  return "not determined";
}

const char* logLevelName(TiloLogLevel level) {
  switch (level) {
    case TiloLogLevel::error:
      return "error";
    case TiloLogLevel::debug:
      return "debug";
    case TiloLogLevel::off:
      break;
  }
  return "off";
}

bool refreshes(const std::string& format) {
  return format == "banner" || format == "mrec" || format == "native";
}

}  // namespace

InspectorSnapshot captureInspectorSnapshot(const std::map<std::string, std::string>& testAds) {
  InspectorSnapshot snapshot;
  snapshot.now = platform::now();
  snapshot.version = kSdkVersion;
  snapshot.scenario = mediation::AdSource::shared().describeScenario();
  snapshot.logLevel = logLevelName(currentLogLevel());
  snapshot.trackingAuthorization = trackingName(platform::trackingAuthorizationStatus());
  auto recorded = DiagnosticsRecorder::shared().snapshot();
  snapshot.startup = recorded.startup;
  snapshot.networks = std::move(recorded.networks);
  snapshot.crashCheckDone = recorded.crashCheckDone;
  snapshot.crashReports = std::move(recorded.crashReports);
  snapshot.crashReportCount = recorded.crashReportCount;
  if (auto logger = AdEventLogger::shared()) snapshot.analytics = logger->stats();
  snapshot.demandUrl = mediation::demand::Demand::demandUrl();
  if (snapshot.demandUrl) snapshot.demand = mediation::demand::DemandLog::shared().recent();

  std::optional<TiloAppInfo> appInfo;
  // Only an SDK that is built already: opening the inspector must not start one.
  if (TiloAds::isSharedBuilt() && !TiloAds::isShutDown()) {
    auto started = TiloAds::sharedOrError();
    auto keys = TiloKeyManager::sharedOrError();
    if (started && keys) {
      const auto& service = started.value()->core();
      appInfo = service->currentAppInfo();
      if (auto api = std::dynamic_pointer_cast<TiloApi>(service->tiloApi())) {
        snapshot.backendUrl = api->baseURL();
      }
      snapshot.appKey = maskSecret(keys.value()->appKey());
      const auto& startup = snapshot.startup;
      snapshot.state = !startup.started            ? SdkState::notInitialized
                       : !startup.durationMs       ? SdkState::initializing
                       : startup.error.has_value() ? SdkState::failed
                                                   : SdkState::initialized;
    } else {
      snapshot.state = SdkState::notStarted;
    }
  }

  if (appInfo) {
    for (const auto& item : appInfo->adUnits) {
      InspectorUnit unit{item.tiloAdUnitId,
                         item.name,
                         item.type,
                         item.mediationAdUnitId,
                         refreshes(item.type) ? std::optional(item.refreshInterval) : std::nullopt,
                         true,
                         {},
                         {}};
      snapshot.units.push_back(std::move(unit));
    }
  }
  for (auto& activity : recorded.units) {
    auto known = std::find_if(snapshot.units.begin(), snapshot.units.end(),
                              [&](const auto& unit) { return unit.adUnitId == activity.adUnitId; });
    if (known == snapshot.units.end()) {
      snapshot.units.push_back(
          InspectorUnit{activity.adUnitId, "", activity.format, "", {}, false, {}, {}});
      known = snapshot.units.end() - 1;
    }
    known->loads = std::move(activity.loads);
  }
  for (auto& unit : snapshot.units) {
    if (auto test = testAds.find(unit.adUnitId); test != testAds.end()) unit.testAd = test->second;
  }
  return snapshot;
}

}  // namespace tilo::inspector
