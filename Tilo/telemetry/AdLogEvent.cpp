#include "Tilo/telemetry/AdLogEvent.h"

#include <pthread.h>

#include <array>
#include <cmath>

#include "Tilo/base/SdkVersion.h"
#include "Tilo/telemetry/JsonWriter.h"
#include "Tilo/telemetry/SessionIdentifier.h"
#include "platform/Crypto.h"
#include "platform/Device.h"
#include "platform/Environment.h"

namespace tilo {
namespace {

using platform::Json;

struct TypeNames {
  AdLogEventType type;
  std::string_view raw;
  std::string_view wire;
};

constexpr std::array<TypeNames, 6> kTypeNames{{
    {AdLogEventType::adClick, "adClick", "ad_click"},
    {AdLogEventType::adImpression, "adImpression", "ad_impression"},
    {AdLogEventType::adRequest, "adRequest", "ad_request"},
    {AdLogEventType::adResponse, "adResponse", "ad_response"},
    {AdLogEventType::adResponseError, "adResponseError", "ad_response_error"},
    {AdLogEventType::markerCheckpoint, "markerCheckpoint", "marker_checkpoint"},
}};

// Event identifiers come from a per-thread block of secure random bytes: one draw per 64
// identifiers instead of one each, which dominated the cost of logging an event.
struct RandomPool {
  std::array<std::uint8_t, 1024> bytes{};
  std::size_t used = sizeof(bytes);
};
thread_local RandomPool randomPool;

std::string makeEventId() {
  static const bool forkSafe = [] {
    // A forked child must not reuse the identifiers its parent has yet to hand out.
    pthread_atfork(nullptr, nullptr, [] { randomPool.used = sizeof(randomPool.bytes); });
    return true;
  }();
  (void)forkSafe;
  RandomPool& pool = randomPool;
  if (pool.used + 16 > pool.bytes.size()) {
    if (!platform::secureRandomBytes(pool.bytes)) return platform::makeUUIDString(true);
    pool.used = 0;
  }
  std::uint8_t* b = pool.bytes.data() + pool.used;
  pool.used += 16;
  b[6] = static_cast<std::uint8_t>((b[6] & 0x0F) | 0x40);  // version 4
  b[8] = static_cast<std::uint8_t>((b[8] & 0x3F) | 0x80);  // RFC 4122 variant
  static constexpr char kHex[] = "0123456789abcdef";
  std::string id(36, '-');
  std::size_t out = 0;
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) ++out;
    id[out++] = kHex[b[i] >> 4];
    id[out++] = kHex[b[i] & 0xF];
  }
  return id;
}

// Through the platform parser for its nesting and key caps: the payload is later copied and
// written out recursively, in its own key order.
Json parsePayload(const std::string& text) {
  try {
    Json parsed = platform::parseJsonKeepingOrder(text);
    return parsed.is_object() ? parsed : Json::object();
  } catch (const platform::DecodingError&) {
    return Json::object();
  }
}

Json deviceObject() {
  auto vendor = platform::vendorIdentifier();
  Json device = Json::object();
  device["deviceId"] = vendor.value_or("");
  device["idfa"] = platform::advertisingIdentifier();
  device["idfv"] = vendor ? Json(*vendor) : Json(nullptr);
  device["os"] = platform::systemName();
  device["osVersion"] = platform::systemVersion();
  return device;
}

}  // namespace

std::string_view rawValue(AdLogEventType type) {
  return kTypeNames[static_cast<std::size_t>(type)].raw;
}

std::string_view wireName(AdLogEventType type) {
  return kTypeNames[static_cast<std::size_t>(type)].wire;
}

std::optional<AdLogEventType> adLogEventTypeFromRawValue(std::string_view raw) {
  for (const auto& names : kTypeNames) {
    if (names.raw == raw) return names.type;
  }
  return std::nullopt;
}

AdLogEvent AdLogEvent::make(AdLogEventType type, Json payload,
                            std::optional<std::string> sessionId) {
  std::string text;
  JsonWriter(text).jsonValue(payload);
  return AdLogEvent{makeEventId(),
                    type,
                    static_cast<std::int64_t>(std::trunc(platform::now() * 1000.0)),
                    sessionId ? std::move(*sessionId) : sessionIdentifier(),
                    std::move(payload),
                    std::move(text)};
}

void AdLogEvent::encode(JsonWriter& json) const {
  json.beginObject()
      .field("eventId", eventId)
      .field("eventType", rawValue(eventType))
      .field("createdAt", createdAt)
      .field("sessionId", sessionId)
      .field("payloadJsonString", payloadJsonString)
      .endObject();
}

AdLogEvent AdLogEvent::decode(const platform::ParsedJson& json) {
  platform::requireObject(json);
  auto eventId = platform::required<std::string>(json, "eventId");
  auto rawType = platform::required<std::string>(json, "eventType");
  auto type = adLogEventTypeFromRawValue(rawType);
  if (!type) {
    throw platform::DecodingError(
        platform::DecodingError::Kind::dataCorrupted,
        "key \"eventType\": Cannot initialize AdLogEventType from invalid String value " + rawType);
  }
  auto createdAt = platform::required<std::int64_t>(json, "createdAt");
  auto sessionId = platform::required<std::string>(json, "sessionId");
  auto text = platform::required<std::string>(json, "payloadJsonString");
  Json payload = parsePayload(text);
  return AdLogEvent{std::move(eventId), *type,          createdAt, std::move(sessionId),
                    std::move(payload), std::move(text)};
}

Json AdLogEvent::uploadObject() const {
  // Built in place: this runs for every event of every upload.
  Json::object_t object;
  object.reserve(5);
  object.emplace_back("eventId", eventId);
  object.emplace_back("eventType", wireName(eventType));
  object.emplace_back("createdAt", createdAt);
  object.emplace_back("sessionId", sessionId);
  object.emplace_back("payload", payload);
  return Json(std::move(object));
}

std::string encodeEventList(std::span<const AdLogEvent> events) {
  std::string out;
  std::size_t estimate = 2;
  for (const auto& event : events) estimate += 160 + event.payloadJsonString.size() * 5 / 4;
  out.reserve(estimate);
  JsonWriter json(out);
  json.beginArray();
  for (const auto& event : events) event.encode(json);
  json.endArray();
  return out;
}

std::vector<AdLogEvent> decodeEventList(std::string_view text) {
  const platform::ParsedJson parsed = platform::parseJson(text);
  const platform::ParsedJson& list = platform::requireArray(parsed);
  std::vector<AdLogEvent> events;
  events.reserve(list.size());
  for (const auto& item : list) events.push_back(AdLogEvent::decode(item));
  return events;
}

Json makeEventsUploadBody(std::span<const AdLogEvent> events) {
  Json::array_t list;
  list.reserve(events.size());
  for (const auto& event : events) list.push_back(event.uploadObject());
  Json body = Json::object();
  body["sdkVersion"] = kSdkVersion;
  body["events"] = std::move(list);
  body["device"] = deviceObject();
  if (auto region = platform::localeRegionCode()) body["country"] = *region;
  body["mediationPlatform"] = "admob";
  return body;
}

Json makeAdEventPayload(const TiloAdInfo& adInfo, const std::optional<AdResError>& error) {
  Json payload = Json::object();
  payload["adFormat"] = analyticsName(adInfo.adFormat);
  payload["adUnitId"] = adInfo.adUnitId;
  if (adInfo.adNetwork) payload["adNetwork"] = *adInfo.adNetwork;
  if (adInfo.latency) payload["latency"] = *adInfo.latency;
  if (error) {
    payload["code"] = error->code;
    payload["message"] = error->message;
  }
  return payload;
}

}  // namespace tilo
