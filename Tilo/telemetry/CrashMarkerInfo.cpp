#include "Tilo/telemetry/CrashMarkerInfo.h"

#include <cmath>

#include "Tilo/telemetry/JsonWriter.h"
#include "platform/Device.h"

namespace tilo {

using platform::DecodingError;
using platform::Json;
using platform::ParsedJson;

std::string CrashMarkerInfo::encode() const {
  std::string out;
  out.reserve(256);
  JsonWriter json(out);
  json.beginObject().field("timestamp", timestamp).field("checkpoint", rawValue(checkpoint));
  if (metadata) metadata->encode(json.key("metadata"));
  if (lifecycleEvent) json.key("lifecycleEvent").raw(lifecycleEvent->encode());
  json.field("sessionId", sessionId).endObject();
  return out;
}

CrashMarkerInfo CrashMarkerInfo::decode(const ParsedJson& json) {
  const double timestamp = platform::required<double>(json, "timestamp");
  const auto raw = platform::required<std::string>(json, "checkpoint");
  const auto checkpoint = crashMarkerCheckpointFromRawValue(raw);
  if (!checkpoint) {
    throw DecodingError(DecodingError::Kind::dataCorrupted,
                        "Cannot initialize CrashMarkerCheckpoint from invalid String value " + raw);
  }
  std::optional<CheckpointMetadata> metadata;
  if (auto value = platform::optional<ParsedJson>(json, "metadata")) {
    metadata = CheckpointMetadata::decode(*value);
  }
  std::optional<AppLifecycleEvent> lifecycle;
  if (auto value = platform::optional<ParsedJson>(json, "lifecycleEvent")) {
    lifecycle = AppLifecycleEvent::decode(*value);
  }
  return {timestamp, *checkpoint, std::move(metadata), lifecycle,
          platform::required<std::string>(json, "sessionId")};
}

AdLogEvent CrashMarkerInfo::reportEvent(double detectionTime) const {
  std::string payload;
  payload.reserve(256);
  JsonWriter json(payload);
  json.beginObject()
      .field("sessionId", sessionId)
      .field("checkpoint", rawValue(checkpoint))
      .field("crashTimestamp", timestamp)
      .field("detectionTimestamp", detectionTime);
  if (metadata) json.field("metadata", reportMetadata());
  if (lifecycleEvent) {
    json.field("lastLifecycleState", rawValue(lifecycleEvent->state))
        .field("lastLifecycleTimestamp", lifecycleEvent->timestamp);
  }
  json.endObject();
  return AdLogEvent{platform::makeUUIDString(/*lowercase=*/true), AdLogEventType::markerCheckpoint,
                    static_cast<std::int64_t>(std::trunc(detectionTime * 1000.0)), sessionId,
                    std::move(payload)};
}

std::string CrashMarkerInfo::reportMetadata() const {
  return metadata ? platform::dumpCompact(metadata->reportDictionary()) : std::string();
}

}  // namespace tilo
