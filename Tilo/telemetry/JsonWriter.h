// Appends compact JSON to a string without building a tree.
//
//   std::string out;
//   JsonWriter json(out);
//   json.beginObject().key("phase").value("load").key("lastUpdate").value(now).endObject();
//
// The event store and the marker and tracker files write small records of a fixed shape
// on hot paths; writing them straight into one buffer avoids a tree of allocations. The
// output matches platform::dumpCompact: no white space, doubles in shortest round-trip
// form (with ".0" when integral) and null for infinity and NaN, non-ASCII kept as is and malformed
// UTF-8 replaced by U+FFFD.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Json.h"

namespace tilo {

class JsonWriter {
 public:
  explicit JsonWriter(std::string& out) : out_(out) {}

  JsonWriter& beginObject() { return open('{'); }
  JsonWriter& endObject() { return close('}'); }
  JsonWriter& beginArray() { return open('['); }
  JsonWriter& endArray() { return close(']'); }
  JsonWriter& key(std::string_view name);
  JsonWriter& value(std::string_view text);
  JsonWriter& value(const char* text) { return value(std::string_view(text)); }
  JsonWriter& value(double number);
  JsonWriter& value(std::int64_t number);
  // Any JSON value, as platform::dumpCompact would write it.
  JsonWriter& jsonValue(const platform::Json& json);
  // key(name).value(v); nothing at all for an empty optional.
  template <class T>
  JsonWriter& field(std::string_view name, const T& v) {
    return key(name).value(v);
  }
  template <class T>
  JsonWriter& field(std::string_view name, const std::optional<T>& v) {
    return v ? field(name, *v) : *this;
  }
  // Text that already is one JSON value, copied as is.
  JsonWriter& raw(std::string_view json);

 private:
  JsonWriter& open(char bracket);
  JsonWriter& close(char bracket);
  void separate();
  void appendString(std::string_view text);

  std::string& out_;
  bool needsComma_ = false;
};

}  // namespace tilo
