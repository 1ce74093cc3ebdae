// Crash markers: small flag files that bracket risky phases. A flag still present at the
// next start means the process died inside that phase; it is reported once as a
// "marker_checkpoint" analytics event.
//
//   setMarker(CrashMarkerCheckpoint::configFetch,
//             CheckpointMetadata::configFetch(StageResult::inProgress, std::nullopt));
//   ... the risky phase ...
//   clearMarker(CrashMarkerCheckpoint::configFetch);
//
//   checkForPreviousCrashes();   // at the very start of SDK initialization
//
// Flags are "tilo_crash_<checkpoint>.flag" in markersDirectory(); all file work runs
// synchronously on crashMarkerFileQueue(), so callers on any thread block for one small
// file operation. Setting flags (and the tracker and lifecycle writes) happens only while
// enableMarkerCheckpoints() is true; clearing and detection always work.
#pragma once

#include <optional>
#include <string>

#include "Tilo/base/TiloAdInfo.h"
#include "Tilo/base/TiloAppInfo.h"
#include "Tilo/telemetry/CrashCheckpoint.h"
#include "Tilo/telemetry/CrashMarkerInfo.h"
#include "Tilo/telemetry/MarkerFiles.h"

namespace tilo {

void setMarker(CrashMarkerCheckpoint checkpoint,
               std::optional<CheckpointMetadata> metadata = std::nullopt);
void clearMarker(CrashMarkerCheckpoint checkpoint);
// Sets adCallback around a host listener call named `phase`.
void markAdCallback(const std::string& phase, const std::optional<TiloAdInfo>& adInfo);
// Sets adShowCrash before an ad is shown.
void markAdShow(const TiloAdInfo& adInfo);

// Collects the flags and tracker entries left by the previous run, deletes them and hands
// one report per crash to the logger's immediate path: non-init flags in case order, then
// the most recent init flag, then interrupted ad loads (unless the app had been in the
// background for more than 60 s). Without a logger the reports are dropped.
void checkForPreviousCrashes();

bool enableMarkerCheckpoints();
// Set once while the service is built, from the cached SDK configuration.
void setEnableMarkerCheckpoints(bool enabled);

// "sdkConfig.json" in the markers folder; nullopt when missing or undecodable.
std::optional<SdkConfig> readCachedSdkConfig();
void writeCachedSdkConfig(const SdkConfig& config);

}  // namespace tilo
