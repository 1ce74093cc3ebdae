// JSON with explicit key tables: documents are read into ParsedJson and decoded into records;
// what goes out (the wire, files) is built as Json, whose keys keep insertion order.
//
//   ParsedJson json = parseJson(text);                            // throws DecodingError
//   auto storeId = required<std::string>(json, "storeId");
//   auto storeUrl = optional<std::string>(json, "storeUrl");      // missing or null -> nullopt
//   double interval = lenient<double>(json, "refreshInterval").value_or(30.0);
//
// `required` and `optional` throw DecodingError naming the key and the problem; `lenient`
// turns every problem into nullopt. Supported value types: std::string, bool, double
// (any JSON number), std::int64_t (integral numbers only) and the JSON type itself (any
// value). They work on both JSON types.
//
// Input is hostile: DecodingError is the only exception that leaves this file. A number
// that no double holds (1e999, -1e400) does not fail the document: it is kept as a
// number out of range, so reading it as a number fails (dataCorrupted, "out of range")
// and a lenient field falls back; the text is read once, however many such numbers it has. Nesting
// deeper than kMaxJsonDepth, or more than kMaxJsonKeys object keys in one document, is corrupted
// data.
//
// Warning: parseJson does not keep the order of an object's keys. Where order matters,
// build a Json from the decoded record, or parse with parseJsonKeepingOrder (whose objects
// find a key by walking every key before it: fine for writing out, not for decoding).
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace tilo::platform {

// What the SDK writes: keys in insertion order, as its key tables list them.
using Json = nlohmann::ordered_json;
// What parseJson reads: keys in a std::map, so that parsing and each lookup cost log n.
using ParsedJson = nlohmann::json;

// Objects and arrays inside one another; the key file, markers and backend answers need
// fewer than ten.
inline constexpr std::size_t kMaxJsonDepth = 128;
// Object keys in one document, counted at every level: far above what any file or answer
// of the SDK holds (a full event store has about 5,000), far below what costs a host
// noticeable time or memory.
inline constexpr std::size_t kMaxJsonKeys = 100'000;

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

// Throws DecodingError (dataCorrupted) for anything but one complete JSON text, and for
// one with more than `maxKeys` object keys. Time and memory grow with the text's length
// (times log n for the keys of the largest object).
ParsedJson parseJson(std::string_view text, std::size_t maxKeys = kMaxJsonKeys);
// The same into Json, each object's keys in the order of the text (a repeated key keeps its
// first place and its last value): for values that are kept and written out again.
Json parseJsonKeepingOrder(std::string_view text, std::size_t maxKeys = kMaxJsonKeys);

// J is Json or ParsedJson. `context` is the key the value came from, or empty for the top
// level.
template <class J>
const J& requireObject(const J& value, std::string_view context = {});
template <class J>
const J& requireArray(const J& value, std::string_view context = {});

// The value under `key` of `object`: keyNotFound when absent, valueNotFound when null.
template <class J>
const J& requiredValue(const J& object, std::string_view key);

// T is one of the value types above, or J itself.
template <class T, class J>
T required(const J& object, std::string_view key);
template <class T, class J>
std::optional<T> optional(const J& object, std::string_view key);
template <class T, class J>
std::optional<T> lenient(const J& object, std::string_view key);

// Throws DecodingError (dataCorrupted) naming `key` when the array or object `value` holds
// more than `limit` entries: for lists whose every entry costs the SDK work or storage.
template <class J>
void requireAtMost(const J& value, std::size_t limit, std::string_view key);

// No white space, keys in insertion order, non-ASCII kept as UTF-8, doubles in their
// shortest round-trip form. Invalid UTF-8 in strings becomes U+FFFD instead of failing.
std::string dumpCompact(const Json& value);
std::string dumpCompact(const ParsedJson& value);

}  // namespace tilo::platform
