// JSON with explicit key tables, over nlohmann::ordered_json (keys keep insertion order).
//
//   Json json = parseJson(text);                                  // throws DecodingError
//   auto storeId = required<std::string>(json, "storeId");
//   auto storeUrl = optional<std::string>(json, "storeUrl");      // missing or null -> nullopt
//   double interval = lenient<double>(json, "refreshInterval").value_or(30.0);
//
// `required` and `optional` throw DecodingError naming the key and the problem; `lenient`
// turns every problem into nullopt. Supported value types: std::string, bool, double
// (any JSON number), std::int64_t (integral numbers only) and Json (any value).
//
// Input is hostile: DecodingError is the only exception that leaves this file. A number
// that no double holds (1e999, -1e400) does not fail the document: it is kept as the
// text of the number, so reading it as a number fails (dataCorrupted, "out of range")
// and a lenient field falls back. Nesting deeper than kMaxJsonDepth is corrupted data.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace tilo::platform {

using Json = nlohmann::ordered_json;

// Objects and arrays inside one another; the key file, markers and backend answers need
// fewer than ten.
inline constexpr std::size_t kMaxJsonDepth = 128;

class DecodingError : public std::runtime_error {
 public:
  enum class Kind { keyNotFound, typeMismatch, valueNotFound, dataCorrupted };

  // `detail` is the parenthesized part, e.g. `key "storeId" not found`.
  DecodingError(Kind kind, const std::string& detail);

  Kind kind() const { return kind_; }
  // For example: The data couldn't be read because it is missing. (key "storeId" not found)
  std::string localizedDescription() const { return what(); }

 private:
  Kind kind_;
};

// Throws DecodingError (dataCorrupted) for anything but one complete JSON text.
Json parseJson(std::string_view text);

// `context` is the key the value came from, or empty for the top level.
const Json& requireObject(const Json& value, std::string_view context = {});
const Json& requireArray(const Json& value, std::string_view context = {});

// The value under `key` of `object`: keyNotFound when absent, valueNotFound when null.
const Json& requiredValue(const Json& object, std::string_view key);

template <class T>
T required(const Json& object, std::string_view key);
template <class T>
std::optional<T> optional(const Json& object, std::string_view key);
template <class T>
std::optional<T> lenient(const Json& object, std::string_view key);

// No white space, keys in insertion order, non-ASCII kept as UTF-8, doubles in their
// shortest round-trip form. Invalid UTF-8 in strings becomes U+FFFD instead of failing.
std::string dumpCompact(const Json& value);

}  // namespace tilo::platform
