#include "platform/PlistValue.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/Base64.h"
#include "platform/Unicode.h"

namespace tilo::platform {
namespace {

// Seconds from 1970-01-01 to 2001-01-01, the property-list epoch.
constexpr double kPlistEpochOffset = 978307200.0;

bool sameNumber(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b) ||
         (std::isnan(a) && std::isnan(b));
}

// The scalar value of the UTF-8 sequence at text[i] and its length; U+FFFD and length 1
// for a byte that starts no valid sequence.
std::pair<char32_t, std::size_t> decodeUtf8(std::string_view text, std::size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  const std::size_t length = lead < 0x80                    ? 1
                             : lead >= 0xC2 && lead <= 0xDF ? 2
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                            : 0;
  if (length == 1) return {lead, 1};
  if (length == 0 || !isValidUtf8(text.substr(i, length))) return {U'\uFFFD', 1};
  char32_t code = lead & (0x7F >> length);
  for (std::size_t k = 1; k < length; ++k) code = (code << 6) | (text[i + k] & 0x3F);
  return {code, length};
}

// `text` as valid UTF-8, U+FFFD for each bad sequence.
std::string validUtf8(const std::string& text) {
  if (isValidUtf8(text)) return text;
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto [code, length] = decodeUtf8(text, i);
    appendUtf8(out, code);
    i += length;
  }
  return out;
}

void appendBigEndian(std::string& out, std::uint64_t value, std::size_t size) {
  for (std::size_t i = size; i-- > 0;) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// 1, 2, 4 or 8: the bytes that hold `value`.
std::size_t widthFor(std::uint64_t value) {
  return value <= 0xFF ? 1 : value <= 0xFFFF ? 2 : value <= 0xFFFFFFFF ? 4 : 8;
}

class BinaryWriter {
 public:
  std::string write(const PlistValue& root) {
    offsets_.resize(count(root));
    refSize_ = widthFor(offsets_.size());
    out_ = "bplist00";
    object(root);
    const std::uint64_t table = out_.size();
    const std::size_t offsetSize = widthFor(table);
    for (std::uint64_t offset : offsets_) appendBigEndian(out_, offset, offsetSize);
    out_.append(6, '\0');
    out_ += static_cast<char>(offsetSize);
    out_ += static_cast<char>(refSize_);
    appendBigEndian(out_, offsets_.size(), 8);
    appendBigEndian(out_, 0, 8);  // the top object
    appendBigEndian(out_, table, 8);
    return std::move(out_);
  }

 private:
  static std::size_t count(const PlistValue& value) {
    std::size_t n = 1;
    if (const auto* array = value.asArray()) {
      for (const auto& item : *array) n += count(item);
    } else if (const auto* dictionary = value.asDictionary()) {
      for (const auto& entry : *dictionary) n += 1 + count(entry.second);
    }
    return n;
  }

  void integer(std::uint8_t marker, std::uint64_t value, std::size_t width) {
    out_ += static_cast<char>(marker | std::countr_zero(width));
    appendBigEndian(out_, value, width);
  }

  // A marker with a count: in its low four bits below 15, else in an integer after it.
  void header(std::uint8_t type, std::size_t n) {
    if (n < 15) {
      out_ += static_cast<char>(type << 4 | n);
      return;
    }
    out_ += static_cast<char>(type << 4 | 0xF);
    integer(0x10, n, widthFor(n));
  }

  void text(const std::string& raw) {
    const std::string utf8 = validUtf8(raw);
    if (std::none_of(utf8.begin(), utf8.end(), [](char c) { return c & 0x80; })) {
      header(0x5, utf8.size());
      out_ += utf8;
      return;
    }
    std::string units;
    units.reserve(utf8.size() * 2);
    for (std::size_t i = 0; i < utf8.size();) {
      auto [code, length] = decodeUtf8(utf8, i);
      i += length;
      if (code >= 0x10000) {
        code -= 0x10000;
        appendBigEndian(units, 0xD800 + (code >> 10), 2);
        code = 0xDC00 + (code & 0x3FF);
      }
      appendBigEndian(units, code, 2);
    }
    header(0x6, units.size() / 2);
    out_ += units;
  }

  // Writes the children first, then the object; returns its number.
  std::uint64_t object(const PlistValue& value) {
    const std::uint64_t index = next_++;
    std::vector<std::uint64_t> refs;
    if (const auto* array = value.asArray()) {
      for (const auto& item : *array) refs.push_back(object(item));
    } else if (const auto* dictionary = value.asDictionary()) {
      for (const auto& [key, item] : *dictionary) {
        offsets_[next_] = out_.size();
        refs.push_back(next_++);
        text(key);
      }
      for (const auto& [key, item] : *dictionary) refs.push_back(object(item));
    }
    offsets_[index] = out_.size();
    if (const auto* string = value.asString()) {
      text(*string);
    } else if (const auto* integerValue = value.asInteger()) {
      const auto bits = static_cast<std::uint64_t>(*integerValue);
      integer(0x10, bits, *integerValue < 0 ? 8 : widthFor(bits));
    } else if (const auto* real = value.asReal()) {
      out_ += '\x23';
      appendBigEndian(out_, std::bit_cast<std::uint64_t>(*real), 8);
    } else if (const auto* date = value.asDate()) {
      out_ += '\x33';
      appendBigEndian(out_,
                      std::bit_cast<std::uint64_t>(date->secondsSince1970 - kPlistEpochOffset), 8);
    } else if (const auto* boolean = value.asBool()) {
      out_ += *boolean ? '\x09' : '\x08';
    } else if (const auto* data = value.asData()) {
      header(0x4, data->size());
      out_.append(data->begin(), data->end());
    } else {
      header(value.asArray() ? 0xA : 0xD, value.asArray() ? refs.size() : refs.size() / 2);
      for (std::uint64_t ref : refs) appendBigEndian(out_, ref, refSize_);
    }
    return index;
  }

  std::string out_;
  std::vector<std::uint64_t> offsets_;
  std::size_t refSize_ = 1;
  std::uint64_t next_ = 0;
};

void appendXmlText(std::string& out, const std::string& raw) {
  const std::string text = validUtf8(raw);
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '\r':
        out += "&#13;";
        break;  // read raw, it would become a line feed
      default:
        // XML has no other control character but tab and line feed.
        out += static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' ? "\xEF\xBF\xBD"
                                                                              : std::string(1, c);
    }
  }
}

// "2020-01-01T00:00:00Z", the whole second.
std::string xmlDate(double secondsSince1970) {
  constexpr double kFirst = -62135596800.0;  // 0001-01-01T00:00:00Z
  constexpr double kLast = 253402300799.0;   // 9999-12-31T23:59:59Z
  const double clamped = std::isnan(secondsSince1970) ? kPlistEpochOffset
                                                      : std::clamp(secondsSince1970, kFirst, kLast);
  const auto seconds = static_cast<long long>(std::floor(clamped));
  long long days = seconds / 86400;
  long long rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  // The civil date of a day number (Howard Hinnant's algorithm).
  days += 719468;
  const long long era = (days >= 0 ? days : days - 146096) / 146097;
  const long long dayOfEra = days - era * 146097;
  const long long yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const long long shifted = (5 * dayOfYear + 2) / 153;
  const long long day = dayOfYear - (153 * shifted + 2) / 5 + 1;
  const long long month = shifted < 10 ? shifted + 3 : shifted - 9;
  const long long year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  char text[128];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ", year, month, day,
                rest / 3600, rest / 60 % 60, rest % 60);
  return text;
}

void appendXml(std::string& out, const PlistValue& value, std::size_t depth) {
  const std::string indent(depth, '\t');
  out += indent;
  auto element = [&](const char* name, const std::string& text) {
    out += std::string("<") + name + ">";
    appendXmlText(out, text);
    out += std::string("</") + name + ">\n";
  };
  if (const auto* string = value.asString()) {
    element("string", *string);
  } else if (const auto* integer = value.asInteger()) {
    element("integer", std::to_string(*integer));
  } else if (const auto* real = value.asReal()) {
    std::string text = std::isnan(*real) ? "nan" : std::isinf(*real) ? "infinity" : "";
    if (std::isinf(*real)) text.insert(0, *real < 0 ? "-" : "+");
    if (text.empty()) {
      char digits[32];
      const auto end = std::to_chars(digits, digits + sizeof digits, *real).ptr;  // shortest
      text.assign(digits, end);
    }
    element("real", text);
  } else if (const auto* date = value.asDate()) {
    element("date", xmlDate(date->secondsSince1970));
  } else if (const auto* boolean = value.asBool()) {
    out += *boolean ? "<true/>\n" : "<false/>\n";
  } else if (const auto* data = value.asData()) {
    element("data", base64Encode(*data));
  } else if (const auto* array = value.asArray()) {
    if (array->empty()) {
      out += "<array/>\n";
      return;
    }
    out += "<array>\n";
    for (const auto& item : *array) appendXml(out, item, depth + 1);
    out += indent + "</array>\n";
  } else if (const auto* dictionary = value.asDictionary()) {
    if (dictionary->empty()) {
      out += "<dict/>\n";
      return;
    }
    out += "<dict>\n";
    for (const auto& [key, item] : *dictionary) {
      out += indent + "\t";
      element("key", key);
      appendXml(out, item, depth + 1);
    }
    out += indent + "</dict>\n";
  }
}

}  // namespace

bool PlistValue::operator==(const PlistValue& other) const {
  if (storage_.index() != other.storage_.index()) return false;
  if (const auto* real = asReal()) return sameNumber(*real, *other.asReal());
  if (const auto* date = asDate()) {
    return sameNumber(date->secondsSince1970, other.asDate()->secondsSince1970);
  }
  if (const auto* array = asArray()) return *array == *other.asArray();
  if (const auto* dictionary = asDictionary()) return *dictionary == *other.asDictionary();
  return storage_ == other.storage_;
}

std::optional<PlistValue> PlistValue::parse(std::string_view bytes) {
  auto reading = read(bytes);
  if (!reading) return std::nullopt;
  return std::move(reading->value);
}

std::string PlistValue::toBinary() const {
  return BinaryWriter().write(*this);
}

std::string PlistValue::toXml() const {
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
      "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
      "<plist version=\"1.0\">\n";
  appendXml(out, *this, 0);
  return out + "</plist>\n";
}

}  // namespace tilo::platform
