// Everything the ad inspector's pages show, gathered in one value when it refreshes.
//
//   InspectorSnapshot snapshot = captureInspectorSnapshot();   // main thread, SDK as it is
//   InspectorPageContent page = inspectorPages()[0].build(snapshot);
//
// Capturing never builds the SDK and never waits for its queues: before the first SDK
// call it reports "not started". Secrets are masked here (the app key) or were masked
// when recorded (consent strings); every other text is raw and is made printable by the
// pages (shownText).
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Tilo/base/PrivacySettings.h"
#include "Tilo/telemetry/AdEventLogger.h"
#include "Tilo/telemetry/DiagnosticsRecorder.h"
#include "mediation/demand/DemandLog.h"

namespace tilo::inspector {

enum class SdkState { notStarted, notInitialized, initializing, initialized, failed };

struct InspectorUnit {
  std::string adUnitId;
  std::string name;  // from the app info; "" for a unit it does not list
  std::string format;
  std::string mediationAdUnitId;
  std::optional<double> refreshInterval;  // seconds, for the formats that refresh
  bool inAppInfo = true;
  std::vector<RecentLoad> loads;  // oldest first
  std::string testAd;             // the inspector's test ad: "", "Loading…", "Shown", ...
};

struct InspectorSnapshot {
  double now = 0;  // wall seconds

  // SDK
  std::string version;
  SdkState state = SdkState::notStarted;
  StartupRecord startup;  // privacy strings masked
  std::string backendUrl;
  std::string appKey;  // masked
  std::string scenario;
  std::string logLevel;
  std::string trackingAuthorization;

  // Ad units: the app info's, then any other unit that loaded.
  std::vector<InspectorUnit> units;

  // Networks, in start order.
  std::vector<NetworkStart> networks;

  // Analytics.
  std::optional<AdEventLogger::Stats> analytics;  // nullopt before the logger exists
  bool crashCheckDone = false;
  std::vector<CrashReportSummary> crashReports;
  std::size_t crashReportCount = 0;

  // Demand: the exchange's auction URL (nullopt without one) and its last exchanges,
  // oldest first, consent strings masked when recorded.
  std::optional<std::string> demandUrl;
  std::vector<mediation::demand::DemandRecord> demand;
};

// The live SDK's state. `testAds` (unit id → status) is merged into the units.
InspectorSnapshot captureInspectorSnapshot(const std::map<std::string, std::string>& testAds);

}  // namespace tilo::inspector
