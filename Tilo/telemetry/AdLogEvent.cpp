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

// The payload text an upload can splice: the stored text itself when it is the compact
// text of an object, as every event this SDK made is; otherwise what it reads as. Through
// the platform parser for its nesting and key caps.
std::string uploadablePayload(std::string text) {
  try {
    const Json parsed = platform::parseJsonKeepingOrder(text);
    if (!parsed.is_object()) return "{}";
    std::string compact;
    compact.reserve(text.size());
    JsonWriter(compact).jsonValue(parsed);
    if (compact != text) return compact;
    return text;
  } catch (const platform::DecodingError&) {
    return "{}";
  }
}

void writeDevice(JsonWriter& json) {
  const auto vendor = platform::vendorIdentifier();
  json.beginObject()
      .field("deviceId", vendor.value_or(""))
      .field("idfa", platform::advertisingIdentifier());
  if (vendor) {
    json.field("idfv", *vendor);
  } else {
    json.key("idfv").raw("null");
  }
  json.field("os", platform::systemName())
      .field("osVersion", platform::systemVersion())
      .endObject();
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

AdLogEvent AdLogEvent::make(AdLogEventType type, std::string payloadJson,
                            std::optional<std::string> sessionId) {
  return AdLogEvent{
      makeEventId(), type, static_cast<std::int64_t>(std::trunc(platform::now() * 1000.0)),
      sessionId ? std::move(*sessionId) : sessionIdentifier(), std::move(payloadJson)};
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
  auto text = uploadablePayload(platform::required<std::string>(json, "payloadJsonString"));
  return AdLogEvent{std::move(eventId), *type, createdAt, std::move(sessionId), std::move(text)};
}

void AdLogEvent::encodeForUpload(JsonWriter& json) const {
  json.beginObject()
      .field("eventId", eventId)
      .field("eventType", wireName(eventType))
      .field("createdAt", createdAt)
      .field("sessionId", sessionId)
      .key("payload")
      .raw(payloadJsonString)
      .endObject();
}

Json AdLogEvent::payload() const {
  return platform::parseJsonKeepingOrder(payloadJsonString);
}

Json AdLogEvent::uploadObject() const {
  std::string text;
  JsonWriter json(text);
  encodeForUpload(json);
  return platform::parseJsonKeepingOrder(text);
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

std::string makeEventsUploadBody(std::span<const AdLogEvent> events) {
  std::string out;
  std::size_t estimate = 512;
  for (const auto& event : events) estimate += 140 + event.payloadJsonString.size();
  out.reserve(estimate);
  JsonWriter json(out);
  json.beginObject().field("sdkVersion", kSdkVersion).key("events").beginArray();
  for (const auto& event : events) event.encodeForUpload(json);
  json.endArray().key("device");
  writeDevice(json);
  json.field("country", platform::localeRegionCode())
      .field("mediationPlatform", "admob")
      .endObject();
  return out;
}

std::string makeAdEventPayload(const TiloAdInfo& adInfo, const std::optional<AdResError>& error) {
  std::string out;
  out.reserve(128);
  JsonWriter json(out);
  json.beginObject()
      .field("adFormat", analyticsName(adInfo.adFormat))
      .field("adUnitId", adInfo.adUnitId)
      .field("adNetwork", adInfo.adNetwork)
      .field("latency", adInfo.latency);
  if (error) {
    json.field("code", static_cast<std::int64_t>(error->code)).field("message", error->message);
  }
  json.endObject();
  return out;
}

}  // namespace tilo
