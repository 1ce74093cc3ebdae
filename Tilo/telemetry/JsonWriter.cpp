#include "Tilo/telemetry/JsonWriter.h"

#include <charconv>
#include <cmath>

namespace tilo {

JsonWriter& JsonWriter::open(char bracket) {
  separate();
  out_ += bracket;
  needsComma_ = false;
  return *this;
}

JsonWriter& JsonWriter::close(char bracket) {
  out_ += bracket;
  needsComma_ = true;
  return *this;
}

void JsonWriter::separate() {
  if (needsComma_) out_ += ',';
}

JsonWriter& JsonWriter::key(std::string_view name) {
  separate();
  appendString(name);
  out_ += ':';
  needsComma_ = false;
  return *this;
}

JsonWriter& JsonWriter::value(std::string_view text) {
  separate();
  appendString(text);
  needsComma_ = true;
  return *this;
}

JsonWriter& JsonWriter::value(double number) {
  // JSON has no infinity or NaN. Writing null, as dumpCompact does for the same value,
  // keeps the record valid (one bad latency must not cost the event, the store or the
  // upload) and lets each reader apply its fallback for a missing number. Refusing at the
  // source instead would leave a half-written record to every caller.
  if (!std::isfinite(number)) return raw("null");
  separate();
  char buffer[32];
  auto end = std::to_chars(buffer, buffer + sizeof buffer, number).ptr;
  std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
  out_ += text;
  if (text.find_first_not_of("-0123456789") == std::string_view::npos) out_ += ".0";
  needsComma_ = true;
  return *this;
}

JsonWriter& JsonWriter::value(std::int64_t number) {
  separate();
  char buffer[24];
  auto end = std::to_chars(buffer, buffer + sizeof buffer, number).ptr;
  out_.append(buffer, end);
  needsComma_ = true;
  return *this;
}

JsonWriter& JsonWriter::raw(std::string_view json) {
  separate();
  out_ += json;
  needsComma_ = true;
  return *this;
}

namespace {

// Length of the well-formed UTF-8 sequence starting at text[i] (a non-ASCII byte), or 0.
std::size_t utf8SequenceLength(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
  const unsigned char lead = byte(0);
  std::size_t length;
  unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
  } else {
    return 0;
  }
  if (i + length > text.size() || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k) {
    if (byte(k) < 0x80 || byte(k) > 0xBF) return 0;
  }
  return length;
}

}  // namespace

void JsonWriter::appendString(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out_ += '"';
  std::size_t runStart = 0;
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x80 && c != '"' && c != '\\') {
      ++i;
      continue;
    }
    if (c >= 0x80) {
      if (const std::size_t length = utf8SequenceLength(text, i)) {
        i += length;
        continue;
      }
    }
    out_.append(text, runStart, i - runStart);
    switch (c) {
      case '"':
        out_ += "\\\"";
        break;
      case '\\':
        out_ += "\\\\";
        break;
      case '\b':
        out_ += "\\b";
        break;
      case '\f':
        out_ += "\\f";
        break;
      case '\n':
        out_ += "\\n";
        break;
      case '\r':
        out_ += "\\r";
        break;
      case '\t':
        out_ += "\\t";
        break;
      default:
        if (c >= 0x80) {
          out_ += "\xEF\xBF\xBD";  // U+FFFD for a malformed byte
        } else {
          out_ += "\\u00";
          out_ += kHex[c >> 4];
          out_ += kHex[c & 0xF];
        }
    }
    runStart = ++i;
  }
  out_.append(text, runStart, text.size() - runStart);
  out_ += '"';
}

JsonWriter& JsonWriter::jsonValue(const platform::Json& json) {
  switch (json.type()) {
    case platform::Json::value_t::object:
      beginObject();
      for (auto it = json.begin(); it != json.end(); ++it) key(it.key()).jsonValue(*it);
      return endObject();
    case platform::Json::value_t::array:
      beginArray();
      for (const auto& item : json) jsonValue(item);
      return endArray();
    case platform::Json::value_t::string:
      return value(json.get_ref<const std::string&>());
    case platform::Json::value_t::number_integer:
      return value(json.get<std::int64_t>());
    case platform::Json::value_t::number_unsigned:
      return raw(std::to_string(json.get<std::uint64_t>()));
    case platform::Json::value_t::number_float:
      return value(json.get<double>());
    case platform::Json::value_t::boolean:
      return raw(json.get<bool>() ? "true" : "false");
    default:
      return raw("null");  // null, and what JSON text cannot hold
  }
}

}  // namespace tilo
