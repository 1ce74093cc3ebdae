// The phases a crash marker brackets, and what a marker records about its phase.
//
//   setMarker(CrashMarkerCheckpoint::configFetch,
//             CheckpointMetadata::configFetch(StageResult::inProgress, std::nullopt));
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

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

}  // namespace tilo
