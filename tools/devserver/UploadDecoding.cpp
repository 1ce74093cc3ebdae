#include "tools/devserver/UploadDecoding.h"

#include "platform/Json.h"

namespace tilo::devserver {

using platform::Json;

bool nestsDeeperThan(std::string_view text, int limit) {
  int depth = 0;
  bool inString = false;
  bool escaped = false;
  for (char c : text) {
    if (inString) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > limit) return true;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return false;
}

Upload decodeUpload(const std::string& text) {
  // In text order, so that a payload is stored as it was sent; each object is read for a
  // few keys only.
  const Json body = platform::parseJsonKeepingOrder(text);
  platform::requireObject(body);
  Upload upload;
  const Json& events = platform::requireArray(platform::requiredValue(body, "events"), "events");
  for (const Json& event : events) {
    platform::requireObject(event, "events");
    const Json& payload = platform::requiredValue(event, "payload");
    platform::requireObject(payload, "payload");
    upload.rows.push_back({platform::required<std::string>(event, "eventId"),
                           platform::required<std::string>(event, "eventType"),
                           platform::required<std::int64_t>(event, "createdAt"),
                           platform::required<std::string>(event, "sessionId"),
                           platform::dumpCompact(payload)});
  }
  upload.sdkVersion = platform::optional<std::string>(body, "sdkVersion");
  if (const auto device = platform::optional<Json>(body, "device")) {
    upload.device = platform::dumpCompact(*device);
  }
  upload.country = platform::optional<std::string>(body, "country");
  upload.mediationPlatform = platform::optional<std::string>(body, "mediationPlatform");
  return upload;
}

}  // namespace tilo::devserver
