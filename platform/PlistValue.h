// A property-list value: what Info.plist and the user-defaults file hold, read and written
// here in both of the format's forms, XML and binary ("bplist00").
//
//   auto value = PlistValue::parse(bytes);          // XML or binary
//   if (const std::string* key = value->asDictionary()->at("TiloAppKey").asString()) ...
//   std::string file = value->toBinary();
//
// Integers are signed 64-bit; dates are seconds since 1970. Strings and keys are UTF-8 and
// may hold a NUL.
//
// Input is hostile. An XML list may start with a byte-order mark and be in UTF-16 or, by its
// declaration, Latin-1 (it is converted to UTF-8); any other encoding does not parse. Lists
// nested deeper than kMaxPlistDepth, or whose binary objects, shared or not, expand to more
// than kMaxPlistNodes values, do not parse. A value that cannot be held exactly (an integer
// beyond 64 bits, text that is not in its encoding, a date in another form, a key twice, a
// type this class has no place for) is left out, and read() says the reading was not exact.
//
// Writing: text that is not UTF-8 is written with U+FFFD in place of each bad sequence. A
// binary list keeps every other value exactly. XML keeps a date's whole seconds (dates
// beyond years 1 to 9999 are written as the nearest it can show) and has no control
// characters but tab, line feed and carriage return: the others are written as U+FFFD.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/Bytes.h"

namespace tilo::platform {

// Levels of arrays and dictionaries, the outermost included.
inline constexpr std::size_t kMaxPlistDepth = 128;
// Values one reading makes at most, shared binary objects counted each time they appear:
// far more than an Info.plist or a preferences file holds, and few enough that a small
// hostile file cannot make the reader build a tree of millions.
inline constexpr std::size_t kMaxPlistNodes = std::size_t{1} << 16;

enum class PlistFormat { xml, binary };

struct PlistReading;

class PlistValue {
 public:
  using Array = std::vector<PlistValue>;
  using Dictionary = std::map<std::string, PlistValue>;
  struct Date {
    double secondsSince1970 = 0;
    bool operator==(const Date&) const = default;
  };

  PlistValue(std::string value) : storage_(std::move(value)) {}
  PlistValue(const char* value) : storage_(std::string(value)) {}
  PlistValue(std::int64_t value) : storage_(value) {}
  PlistValue(int value) : storage_(std::int64_t{value}) {}
  PlistValue(double value) : storage_(value) {}
  PlistValue(bool value) : storage_(value) {}
  PlistValue(Bytes value) : storage_(std::move(value)) {}
  PlistValue(Date value) : storage_(value) {}
  PlistValue(Array value) : storage_(std::move(value)) {}
  PlistValue(Dictionary value) : storage_(std::move(value)) {}

  // Each accessor returns null unless the value has exactly that type.
  const std::string* asString() const { return std::get_if<std::string>(&storage_); }
  const std::int64_t* asInteger() const { return std::get_if<std::int64_t>(&storage_); }
  const double* asReal() const { return std::get_if<double>(&storage_); }
  const bool* asBool() const { return std::get_if<bool>(&storage_); }
  const Bytes* asData() const { return std::get_if<Bytes>(&storage_); }
  const Date* asDate() const { return std::get_if<Date>(&storage_); }
  const Array* asArray() const { return std::get_if<Array>(&storage_); }
  const Dictionary* asDictionary() const { return std::get_if<Dictionary>(&storage_); }
  Dictionary* asDictionary() { return std::get_if<Dictionary>(&storage_); }

  // Exact equality: reals and dates by their bits (0.0 is not -0.0), any NaN equal to any.
  bool operator==(const PlistValue& other) const;

  // nullopt when the bytes are neither form, or break the limits (see the top).
  static std::optional<PlistValue> parse(std::string_view bytes);
  static std::optional<PlistReading> read(std::string_view bytes);

  std::string toBinary() const;
  std::string toXml() const;
  std::string encoded(PlistFormat format) const {
    return format == PlistFormat::xml ? toXml() : toBinary();
  }

 private:
  std::variant<std::string, std::int64_t, double, bool, Bytes, Date, Array, Dictionary> storage_;
};

struct PlistReading {
  PlistValue value;
  PlistFormat format = PlistFormat::binary;
  // False when a value was left out (see the top).
  bool exact = true;
};

}  // namespace tilo::platform
