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

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "Tilo/ads/TiloAdInfo.h"
#include "Tilo/backend/TiloAppInfo.h"
#include "Tilo/telemetry/AdLogEvent.h"
#include "Tilo/telemetry/AppLifecycleObserver.h"
#include "Tilo/telemetry/MarkerFiles.h"
#include "platform/Json.h"

namespace tilo {

class JsonWriter;

// Case order is the detection order. The first three are init checkpoints.
enum class CrashMarkerCheckpoint {
  sdkInit,        // "sdk_init"
  configFetch,    // "config_fetch"
  adNetworkInit,  // "ad_network_init"
  adUnitsResync,  // "ad_units_resync"
  adCallback,     // "ad_callback"
  nativeAd,       // "native_ad"
  adLoadCrash,    // "ad_load_crash": never a flag, produced from the ad-load tracker
  adShowCrash,    // "ad_show_crash"
};

inline constexpr std::array<CrashMarkerCheckpoint, 8> kAllCrashMarkerCheckpoints{
    CrashMarkerCheckpoint::sdkInit,       CrashMarkerCheckpoint::configFetch,
    CrashMarkerCheckpoint::adNetworkInit, CrashMarkerCheckpoint::adUnitsResync,
    CrashMarkerCheckpoint::adCallback,    CrashMarkerCheckpoint::nativeAd,
    CrashMarkerCheckpoint::adLoadCrash,   CrashMarkerCheckpoint::adShowCrash};

std::string_view rawValue(CrashMarkerCheckpoint checkpoint);
std::optional<CrashMarkerCheckpoint> crashMarkerCheckpointFromRawValue(std::string_view raw);
bool isInitCheckpoint(CrashMarkerCheckpoint checkpoint);
// "tilo_crash_" + raw value + ".flag"
const std::string& flagFileName(CrashMarkerCheckpoint checkpoint);

enum class StageResult {
  success,     // "success"
  failure,     // "failure"
  skipped,     // "skipped"
  inProgress,  // "inProgress"
};

std::string_view rawValue(StageResult result);

struct CacheStageResult {
  enum class Type { load, save };  // "load", "save"
  Type type;
  StageResult result;
};

struct ConfigFetchMetadata {
  StageResult remoteFinalResult;
  std::optional<CacheStageResult> cacheResult;
};

struct AdMetaData {
  std::string phase;
  std::optional<std::string> adUnitId;
  std::optional<std::string> adNetwork;
};

struct AdLoadCrashMetadata {
  std::string adUnitId;
  std::string phase;
  std::string context;  // "foreground", "background_immediate", "background_uncertain"
  double adAge;         // seconds since the load's last progress
  std::optional<std::string> adNetwork;
};

struct AdShowCrashMetadata {
  std::string adFormat;  // analytics spelling of the format
  std::string adUnitId;
  std::optional<double> latency;
  std::optional<std::string> adNetwork;
};

// What a marker knows about its phase. Encoded as {"type": <case>, <case>: <payload>};
// sdkInit is the type alone.
struct CheckpointMetadata {
  // Also the index into `value`.
  enum class Type {
    configFetch,
    adNetworkInit,
    resync,
    adCallback,
    nativeAd,
    adLoadCrash,
    adShowCrash,
    sdkInit
  };
  std::variant<ConfigFetchMetadata, std::string, std::string, AdMetaData, AdMetaData,
               AdLoadCrashMetadata, AdShowCrashMetadata, std::monostate>
      value;

  static CheckpointMetadata configFetch(StageResult remote, std::optional<CacheStageResult> cache);
  static CheckpointMetadata adNetworkInit(std::string phase);
  static CheckpointMetadata resync(std::string unitId);
  static CheckpointMetadata adCallback(AdMetaData metadata);
  static CheckpointMetadata nativeAd(AdMetaData metadata);
  static CheckpointMetadata adLoadCrash(AdLoadCrashMetadata metadata);
  static CheckpointMetadata adShowCrash(AdShowCrashMetadata metadata);
  static CheckpointMetadata sdkInit();

  Type type() const { return static_cast<Type>(value.index()); }
  void encode(JsonWriter& json) const;
  // Throws platform::DecodingError ("Unknown checkpoint type: ...", "Unknown cache
  // operation type: ...", or a missing or mistyped key).
  static CheckpointMetadata decode(const platform::ParsedJson& json);
  // The dictionary a crash report carries as "metadata" text.
  platform::Json reportDictionary() const;
};

// The content of a flag file, and one crash to report.
struct CrashMarkerInfo {
  double timestamp;  // when the marker was set (tracker crashes: the load's last update)
  CrashMarkerCheckpoint checkpoint;
  std::optional<CheckpointMetadata> metadata;
  std::optional<AppLifecycleEvent> lifecycleEvent;  // the last one seen when set
  std::string sessionId;                            // of the process that set it

  std::string encode() const;
  // Throws platform::DecodingError.
  static CrashMarkerInfo decode(const platform::ParsedJson& json);
  // The "marker_checkpoint" event for this crash, detected at `detectionTime`.
  AdLogEvent reportEvent(double detectionTime) const;
};

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
