// One analytics event, its kinds, and the JSON forms it takes in the store and on the wire.
//
//   AdLogEvent event = AdLogEvent::make(AdLogEventType::adImpression, makeAdEventPayload(info));
//   std::string stored = encodeEventList(events);        // five keys per event
//   std::string body = makeEventsUploadBody(events);     // what "/analytics/events" gets
//
// The payload is written once, as compact JSON text, when the event is made: the store
// keeps that text as a string and the upload copies it in as the "payload" object, so no
// event is ever held or encoded as a tree.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Tilo/base/TiloAdInfo.h"
#include "platform/Json.h"

namespace tilo {

class JsonWriter;

// Case order is fixed; the store keeps the raw value, the upload carries the wire name.
enum class AdLogEventType {
  adClick,           // "adClick" / "ad_click"
  adImpression,      // "adImpression" / "ad_impression"
  adRequest,         // "adRequest" / "ad_request"
  adResponse,        // "adResponse" / "ad_response"
  adResponseError,   // "adResponseError" / "ad_response_error"
  markerCheckpoint,  // "markerCheckpoint" / "marker_checkpoint": a crash report
};

std::string_view rawValue(AdLogEventType type);
std::string_view wireName(AdLogEventType type);
std::optional<AdLogEventType> adLogEventTypeFromRawValue(std::string_view raw);

// The error side of an ad result, as analytics report it.
struct AdResError {
  long code;
  std::string message;
};

struct AdLogEvent {
  std::string eventId;  // lower-case UUID
  AdLogEventType eventType;
  std::int64_t createdAt;  // milliseconds since 1970
  std::string sessionId;
  // Compact JSON text of the payload, always one object: stored as is, spliced as is into
  // the upload.
  std::string payloadJsonString;

  // A new event now, with a fresh identifier and the current session unless given.
  // `payloadJson` is the compact text of an object (makeAdEventPayload, a JsonWriter).
  static AdLogEvent make(AdLogEventType type, std::string payloadJson,
                         std::optional<std::string> sessionId = std::nullopt);

  // Stored form: "eventId", "eventType" (raw value), "createdAt", "sessionId",
  // "payloadJsonString".
  void encode(JsonWriter& json) const;
  // Throws platform::DecodingError, also for an unknown "eventType". A payload text that
  // is not a JSON object reads as "{}", and one another writer left in another spelling
  // reads as its compact form, so that every event can be spliced into an upload.
  static AdLogEvent decode(const platform::ParsedJson& json);

  // Upload form: "eventId", "eventType" (wire name), "createdAt", "sessionId", "payload".
  void encodeForUpload(JsonWriter& json) const;

  // Parsed copies, for readers that inspect an event (tools, tests): never on the path an
  // event takes to the store or the backend.
  platform::Json payload() const;
  platform::Json uploadObject() const;
};

// The stored list: a JSON array of stored forms.
std::string encodeEventList(std::span<const AdLogEvent> events);
// Throws platform::DecodingError; one bad event fails the whole list.
std::vector<AdLogEvent> decodeEventList(std::string_view json);

// The "/analytics/events" body as compact JSON: "sdkVersion", "events", "device",
// "country" (only when the locale has a region) and "mediationPlatform".
std::string makeEventsUploadBody(std::span<const AdLogEvent> events);

// Compact JSON text: "adFormat", "adUnitId", then "adNetwork", "latency", "code" and
// "message" when known.
std::string makeAdEventPayload(const TiloAdInfo& adInfo,
                               const std::optional<AdResError>& error = std::nullopt);

}  // namespace tilo
