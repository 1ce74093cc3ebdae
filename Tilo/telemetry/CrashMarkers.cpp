#include "Tilo/telemetry/CrashMarkers.h"

#include <atomic>
#include <cerrno>

#include "Tilo/telemetry/AdEventLogger.h"
#include "Tilo/telemetry/AdLoadTracker.h"
#include "Tilo/telemetry/DiagnosticsRecorder.h"
#include "Tilo/telemetry/SessionIdentifier.h"
#include "platform/Environment.h"

namespace tilo {
namespace {

constexpr const char* kSdkConfigFileName = "sdkConfig.json";

std::atomic<bool> markersEnabled{false};

// Interrupted ad loads from the tracker, judged by how long the app had been in the
// background: an app killed there long ago was most likely ended by the system.
std::vector<CrashMarkerInfo> adLoadCrashes(double now) {
  auto tracker = readAdLoadTracker();
  std::optional<AppLifecycleEvent> lifecycle;
  if (tracker && !tracker->loadingAds.empty()) {
    lifecycle = AppLifecycleObserver::readLastLifecycleEvent();
  }
  clearTrackerFiles();
  if (!tracker || tracker->loadingAds.empty()) return {};
  std::string context = "foreground";
  if (lifecycle && lifecycle->state == AppState::background) {
    const double age = now - lifecycle->timestamp;
    if (age < 5.0) {
      context = "background_immediate";
    } else if (age <= 60.0) {
      context = "background_uncertain";
    } else {
      return {};
    }
  }
  std::vector<CrashMarkerInfo> crashes;
  for (const auto& [unitId, info] : tracker->loadingAds) {
    crashes.push_back(CrashMarkerInfo{
        info.lastUpdate, CrashMarkerCheckpoint::adLoadCrash,
        CheckpointMetadata::adLoadCrash(AdLoadCrashMetadata{unitId, info.currentPhase, context,
                                                            now - info.lastUpdate, info.adNetwork}),
        lifecycle, sessionIdentifier()});
  }
  return crashes;
}

}  // namespace

// ---- Operations ----------------------------------------------------------------------

void setMarker(CrashMarkerCheckpoint checkpoint, std::optional<CheckpointMetadata> metadata) {
  if (!enableMarkerCheckpoints()) return;
  crashMarkerFileQueue().sync([&] {
    const CrashMarkerInfo info{platform::now(), checkpoint, std::move(metadata),
                               AppLifecycleObserver::readLastLifecycleEvent(), sessionIdentifier()};
    writeMarkerFile(flagFileName(checkpoint), info.encode());
  });
}

void clearMarker(CrashMarkerCheckpoint checkpoint) {
  crashMarkerFileQueue().sync([checkpoint] { removeMarkerFile(flagFileName(checkpoint)); });
}

void markAdCallback(const std::string& phase, const std::optional<TiloAdInfo>& adInfo) {
  if (!enableMarkerCheckpoints()) return;
  AdMetaData meta{phase, std::nullopt, std::nullopt};
  if (adInfo) {
    meta.adUnitId = adInfo->adUnitId;
    meta.adNetwork = adInfo->adNetwork;
  }
  setMarker(CrashMarkerCheckpoint::adCallback, CheckpointMetadata::adCallback(std::move(meta)));
}

void markAdShow(const TiloAdInfo& adInfo) {
  if (!enableMarkerCheckpoints()) return;
  setMarker(CrashMarkerCheckpoint::adShowCrash,
            CheckpointMetadata::adShowCrash({std::string(analyticsName(adInfo.adFormat)),
                                             adInfo.adUnitId, adInfo.latency, adInfo.adNetwork}));
}

void checkForPreviousCrashes() {
  std::vector<CrashMarkerInfo> crashes;
  std::optional<CrashMarkerInfo> initCrash;
  for (auto checkpoint : kAllCrashMarkerCheckpoints) {
    auto info = crashMarkerFileQueue().sync([checkpoint]() -> std::optional<CrashMarkerInfo> {
      const auto& name = flagFileName(checkpoint);
      int error = 0;
      auto text = readMarkerFile(name, &error);
      // Deleted whether readable or not (a folder or a FIFO under the name included), so
      // each crash is reported at most once and nothing fails again at the next start.
      if (error != ENOENT) removeMarkerFile(name);
      if (!text) return std::nullopt;
      return decodeMarkerFile<CrashMarkerInfo>(*text);
    });
    if (!info) continue;
    if (!isInitCheckpoint(checkpoint)) {
      crashes.push_back(std::move(*info));
    } else if (!initCrash || info->timestamp > initCrash->timestamp) {
      // Init phases run in sequence: only the latest one was still running.
      initCrash = std::move(info);
    }
  }
  if (initCrash) crashes.push_back(std::move(*initCrash));
  const double now = platform::now();
  for (auto& crash : adLoadCrashes(now)) crashes.push_back(std::move(crash));
  std::vector<AdLogEvent> events;
  events.reserve(crashes.size());
  std::vector<CrashReportSummary> summaries;
  for (const auto& crash : crashes) {
    events.push_back(crash.reportEvent(now));
    summaries.push_back({std::string(rawValue(crash.checkpoint)), crash.timestamp,
                         crash.reportMetadata(), crash.sessionId});
  }
  DiagnosticsRecorder::shared().crashCheckDone(std::move(summaries));
  if (crashes.empty()) return;
  auto logger = AdEventLogger::shared();
  if (!logger) return;
  logger->logImmediateEvents(std::move(events));
}

bool enableMarkerCheckpoints() {
  return markersEnabled.load(std::memory_order_relaxed);
}

void setEnableMarkerCheckpoints(bool enabled) {
  markersEnabled.store(enabled, std::memory_order_relaxed);
}

std::optional<SdkConfig> readCachedSdkConfig() {
  return crashMarkerFileQueue().sync([]() -> std::optional<SdkConfig> {
    auto text = readMarkerFile(kSdkConfigFileName);
    if (!text) return std::nullopt;
    return decodeMarkerFile<SdkConfig>(*text);  // undecodable: markers stay off
  });
}

void writeCachedSdkConfig(const SdkConfig& config) {
  const std::string text = platform::dumpCompact(config.encode());
  crashMarkerFileQueue().sync([&] { writeMarkerFile(kSdkConfigFileName, text); });
}

}  // namespace tilo
