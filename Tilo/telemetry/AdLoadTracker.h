// "tilo_crash_ad_tracker.json": every ad load in flight with its phase and the time of its
// last progress. An entry still there at the next start is reported as an ad-load crash.
//
//   updateAdLoadPhase(unitId, "start");   // then "sync", "loader_init", "load"
//   completeAdLoad(unitId);               // loaded or failed; the last one deletes the file
//                                         // (the lifecycle file stays while it is true)
//
// Each update and completion is one read-modify-write block on the marker I/O queue, so
// loads of different units on different threads never lose each other's entries. Nothing
// is written while marker checkpoints are disabled.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "platform/Json.h"

namespace tilo {

struct AdLoadTracker {
  // Far more loads than a process has in flight at once: a file with more entries does
  // not decode, so it reads as no tracker (and a start reports nothing from it).
  static constexpr std::size_t kMaxEntries = 10'000;

  struct LoadInfo {
    std::string currentPhase;              // "currentPhase"
    double lastUpdate;                     // "lastUpdate", seconds since 1970
    std::optional<std::string> adNetwork;  // "adNetwork", omitted when empty
  };
  std::map<std::string, LoadInfo> loadingAds;  // "loadingAds", keyed by SDK ad-unit id

  std::string encode() const;
  // Throws platform::DecodingError, also for more than kMaxEntries entries.
  static AdLoadTracker decode(const platform::ParsedJson& json);
};

inline constexpr const char* kAdLoadTrackerFileName = "tilo_crash_ad_tracker.json";

// The tracker on disk; nullopt when missing or undecodable.
std::optional<AdLoadTracker> readAdLoadTracker();
void updateAdLoadPhase(const std::string& adUnitId, const std::string& phase);
void completeAdLoad(const std::string& adUnitId);
// Deletes the tracker and the lifecycle file.
void clearTrackerFiles();

}  // namespace tilo
