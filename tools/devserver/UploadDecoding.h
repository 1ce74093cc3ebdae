// The decoding of an analytics upload, apart from the server so that it can be fuzzed.
//
//   if (nestsDeeperThan(body, maxJsonDepth)) ...   // answer 400 before parsing
//   Upload upload = decodeUpload(body);            // throws platform::DecodingError
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tilo::devserver {

// One upload, decoded and ready to bind.
struct Upload {
  struct Row {
    std::string eventId;
    std::string eventType;
    std::int64_t createdAt;
    std::string sessionId;
    std::string payload;
  };
  std::vector<Row> rows;
  std::optional<std::string> sdkVersion;
  std::optional<std::string> device;
  std::optional<std::string> country;
  std::optional<std::string> mediationPlatform;
};

// Whether `text`, read as JSON, nests arrays and objects deeper than `limit`. Counted before
// parsing, so a body of a million brackets costs one pass and no recursion.
bool nestsDeeperThan(std::string_view text, int limit);

// Throws platform::DecodingError naming the offending key, also for a body of more than
// platform::kMaxJsonKeys keys.
Upload decodeUpload(const std::string& text);

}  // namespace tilo::devserver
