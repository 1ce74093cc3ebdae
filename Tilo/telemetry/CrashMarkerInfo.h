// One crash marker: what a flag file holds, and the report it becomes at the next start.
#pragma once

#include <optional>
#include <string>

#include "Tilo/telemetry/AdLogEvent.h"
#include "Tilo/telemetry/AppLifecycleObserver.h"
#include "Tilo/telemetry/CrashCheckpoint.h"
#include "platform/Json.h"

namespace tilo {

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
  // The report's "metadata": the metadata as compact JSON text, empty without any.
  std::string reportMetadata() const;
};

}  // namespace tilo
