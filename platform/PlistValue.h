// A property-list value: what Info.plist and the user-defaults file hold.
//
//   auto value = PlistValue::parse(bytes);          // XML or binary
//   if (const std::string* key = value->asDictionary()->at("TiloAppKey").asString()) ...
//
// Integers are signed 64-bit; dates are seconds since 1970. Conversion to and from
// libplist nodes is here so nothing else touches libplist's C API.
//
// Input is hostile. An XML list may start with a byte-order mark and be in UTF-16 or, by its
// declaration, Latin-1: it is converted to UTF-8 before libplist reads it (libplist takes
// UTF-8 only); any other encoding does not parse. Strings and keys are read with their
// length, so a NUL inside one is data (libplist's own string getters abort on it). Before libplist
// sees the bytes, the nesting depth and, for binary lists, the number of nodes that shared objects
// expand to are checked against kMaxPlistDepth and kMaxPlistNodes: libplist parses recursively and
// copies shared objects, so a deep or self-multiplying list would crash or exhaust memory.
// Strings and keys are written up to their first NUL (libplist takes C strings), with
// invalid UTF-8 made U+FFFD (libplist would write a binary list it cannot read back).
#pragma once

#include <plist/plist.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/Bytes.h"
#include "platform/PlistRoundTrip.h"  // kMaxPlistDepth

namespace tilo::platform {

inline constexpr std::size_t kMaxPlistNodes = std::size_t{1} << 20;

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

  bool operator==(const PlistValue&) const = default;

  // nullopt for a null node or one of a type property lists cannot carry (UID, key).
  static std::optional<PlistValue> fromNode(plist_t node);
  // A new node tree that the caller frees with plist_free.
  plist_t toNode() const;

  // Parses an XML or binary property list; nullopt when the bytes are neither, or exceed
  // the depth or node limits.
  static std::optional<PlistValue> parse(std::string_view bytes);
  // The bytes libplist is given for `bytes`: a binary list as it is, an XML list in UTF-8
  // without a byte-order mark. nullopt for an encoding other than UTF-8, UTF-16 and Latin-1,
  // or text that is not in the encoding it claims.
  static std::optional<std::string> readableBytes(std::string_view bytes);
  // Whether `bytes` stay within kMaxPlistDepth and kMaxPlistNodes (see the top).
  static bool withinLimits(std::string_view bytes);
  std::string toBinary() const;
  // XML keeps a date's whole seconds only (libplist's format): fractions are dropped.
  std::string toXml() const;

 private:
  std::variant<std::string, std::int64_t, double, bool, Bytes, Date, Array, Dictionary> storage_;
};

// A property list kept as libplist nodes: what is not touched is written back exactly as
// it was read, including values PlistValue cannot hold. The user-defaults file uses it
// because the host keeps its own keys in the same file.
//
//   auto document = PlistDocument::parse(bytes);   // nullopt unless a dictionary
//   document->set("tilo_saved_ad_events", PlistValue(text));
//   std::string file = document->toBinary();
class PlistDocument {
 public:
  PlistDocument();  // an empty dictionary
  static std::optional<PlistDocument> parse(std::string_view bytes);
  // Whether writing this document, parsed from `bytes` and not changed since, would keep
  // every value of `bytes` exactly, also when libplist reads the new file again (see
  // PlistRoundTrip.h).
  bool keepsEveryValueOf(std::string_view bytes) const;

  std::optional<PlistValue> value(const std::string& key) const;
  // `key` must not contain a NUL.
  void set(const std::string& key, const PlistValue& value);
  // True when the key was there.
  bool remove(const std::string& key);
  std::string toBinary() const;

 private:
  struct Free {
    void operator()(void* node) const;
  };
  explicit PlistDocument(plist_t root);
  std::string standInFor(const std::string& key) const;
  std::unique_ptr<void, Free> root_;
  // Strings of kLongString bytes or more, ASCII without a NUL, kept out of the node tree,
  // which holds a unique stand-in for each (see BinaryPlistSplice.h).
  static constexpr std::size_t kLongString = 64 * 1024;
  std::map<std::string, std::string> longStrings_;
  std::string standInPrefix_;
};

}  // namespace tilo::platform
