#include "platform/PlistRoundTrip.h"

#include <locale.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "platform/Base64.h"
#include "platform/Unicode.h"

namespace tilo::platform {
namespace {

// Seconds from 1970-01-01 to 2001-01-01, the property-list epoch.
constexpr double kPlistEpochOffset = 978307200.0;
// Values one reading holds at most (about 100 bytes each): far more than a preferences
// file has, and a binary list whose shared objects expand beyond it is not checked at all.
constexpr std::size_t kMaxValues = 100'000;

// One value as the file states it.
struct Value {
  enum class Kind { string, integer, real, date, data, boolean, uid, array, dictionary };
  Kind kind = Kind::string;
  std::string text;               // string: UTF-8; integer: canonical decimal; data: the bytes
  double number = 0;              // real, date (seconds since 2001)
  std::uint64_t scalar = 0;       // boolean, uid
  std::vector<std::string> keys;  // dictionary, sorted; keys[i] belongs to items[i]
  std::vector<Value> items;       // array elements, dictionary values
};

bool equal(const Value& a, const Value& b) {
  if (a.kind != b.kind || a.text != b.text || a.scalar != b.scalar || a.keys != b.keys ||
      a.items.size() != b.items.size()) {
    return false;
  }
  if (!(std::isnan(a.number) && std::isnan(b.number)) &&
      std::bit_cast<std::uint64_t>(a.number) != std::bit_cast<std::uint64_t>(b.number)) {
    return false;
  }
  for (std::size_t i = 0; i < a.items.size(); ++i) {
    if (!equal(a.items[i], b.items[i])) return false;
  }
  return true;
}

// Sorts a dictionary's entries by key; false for a key that appears twice, since a reader
// keeps only one of its values.
bool sortEntries(Value& dictionary) {
  std::vector<std::size_t> order(dictionary.keys.size());
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(),
            [&](std::size_t a, std::size_t b) { return dictionary.keys[a] < dictionary.keys[b]; });
  std::vector<std::string> keys;
  std::vector<Value> items;
  keys.reserve(order.size());
  items.reserve(order.size());
  for (std::size_t i : order) {
    if (!keys.empty() && keys.back() == dictionary.keys[i]) return false;
    keys.push_back(std::move(dictionary.keys[i]));
    items.push_back(std::move(dictionary.items[i]));
  }
  dictionary.keys = std::move(keys);
  dictionary.items = std::move(items);
  return true;
}

Value makeInteger(bool negative, std::string_view digits) {
  digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size()));
  Value value;
  value.kind = Value::Kind::integer;
  value.text = digits.empty() ? "0" : (negative ? "-" : "") + std::string(digits);
  return value;
}

Value makeInteger(__int128 number) {
  const bool negative = number < 0;
  // Digit by digit from the remainder's magnitude, so the most negative value works too.
  std::string digits;
  do {
    const auto remainder = static_cast<int>(number % 10);
    digits += static_cast<char>('0' + (negative ? -remainder : remainder));
    number /= 10;
  } while (number != 0);
  std::reverse(digits.begin(), digits.end());
  return makeInteger(negative, digits);
}

Value makeNumber(Value::Kind kind, double number) {
  Value value;
  value.kind = kind;
  value.number = number;
  return value;
}

Value makeText(Value::Kind kind, std::string text) {
  Value value;
  value.kind = kind;
  value.text = std::move(text);
  return value;
}

bool isXmlSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view trimXmlSpace(std::string_view text) {
  while (!text.empty() && isXmlSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isXmlSpace(text.back())) text.remove_suffix(1);
  return text;
}

std::optional<Value> xmlInteger(std::string_view text) {
  text = trimXmlSpace(text);
  const bool negative = text.starts_with('-');
  if (negative || text.starts_with('+')) text.remove_prefix(1);
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  return makeInteger(negative, text);
}

std::optional<Value> xmlReal(std::string_view text) {
  // strtod in the C locale whatever the host set ("0.5", "nan", "+infinity", "1e999").
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
  const std::string token(trimXmlSpace(text));
  if (token.empty() || cLocale == nullptr) return std::nullopt;
  char* end = nullptr;
  const double number = strtod_l(token.c_str(), &end, cLocale);
  if (end != token.c_str() + token.size()) return std::nullopt;
  return makeNumber(Value::Kind::real, number);
}

// Only the form property lists are written in: "2020-01-01T00:00:00Z".
std::optional<Value> xmlDate(std::string_view text) {
  text = trimXmlSpace(text);
  if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
      text[16] != ':' || text[19] != 'Z') {
    return std::nullopt;
  }
  auto field = [&](std::size_t at, std::size_t length) -> std::optional<int> {
    int out = 0;
    for (std::size_t i = at; i < at + length; ++i) {
      if (text[i] < '0' || text[i] > '9') return std::nullopt;
      out = out * 10 + (text[i] - '0');
    }
    return out;
  };
  const auto year = field(0, 4), month = field(5, 2), day = field(8, 2);
  const auto hour = field(11, 2), minute = field(14, 2), second = field(17, 2);
  if (!year || !month || !day || !hour || !minute || !second || *month < 1 || *month > 12 ||
      *hour > 23 || *minute > 59 || *second > 59) {
    return std::nullopt;
  }
  const bool leap = (*year % 4 == 0 && *year % 100 != 0) || *year % 400 == 0;
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (*day < 1 || *day > kDays[*month - 1] + (leap && *month == 2 ? 1 : 0)) return std::nullopt;
  // Days from 1970-01-01 to the date (the civil-calendar formula of Howard Hinnant).
  const int y = *year - (*month <= 2 ? 1 : 0);
  const int era = y / 400;
  const int yearOfEra = y - era * 400;
  const int dayOfYear = (153 * (*month + (*month > 2 ? -3 : 9)) + 2) / 5 + *day - 1;
  const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  const long long days = static_cast<long long>(era) * 146097 + dayOfEra - 719468;
  const double seconds = static_cast<double>(days * 86400 + *hour * 3600 + *minute * 60 + *second);
  return makeNumber(Value::Kind::date, seconds - kPlistEpochOffset);
}

std::optional<Value> xmlData(std::string_view text) {
  std::string compact;
  for (char c : text) {
    if (!isXmlSpace(c)) compact += c;
  }
  auto bytes = base64Decode(compact);
  if (!bytes) return std::nullopt;
  return makeText(Value::Kind::data, std::string(bytes->begin(), bytes->end()));
}

// An XML property list in UTF-8, read by the rules of XML as far as property lists use them.
class XmlReader {
 public:
  explicit XmlReader(std::string_view text) : text_(text) {}

  std::optional<Value> document() {
    if (!skipMisc()) return std::nullopt;
    auto open = tag();
    if (!open) return std::nullopt;
    std::optional<Value> root;
    if (open->name == "plist" && !open->closing && !open->empty) {
      if (!skipMisc()) return std::nullopt;
      auto inner = tag();
      if (!inner || !(root = value(*inner, 0)) || !skipMisc()) return std::nullopt;
      auto close = tag();
      if (!close || !close->closing || close->name != "plist") return std::nullopt;
    } else if (!(root = value(*open, 0))) {
      return std::nullopt;
    }
    if (!skipMisc() || at_ != text_.size()) return std::nullopt;
    return root;
  }

 private:
  struct Tag {
    std::string_view name;
    bool closing = false;
    bool empty = false;  // <name/>
    bool attributes = false;
  };

  std::string_view rest() const { return text_.substr(at_); }

  bool skipPast(std::string_view end) {
    const auto found = rest().find(end);
    if (found == std::string_view::npos) return false;
    at_ += found + end.size();
    return true;
  }

  // White space, comments, processing instructions and a document type without an internal
  // subset (which could define entities).
  bool skipMisc() {
    for (;;) {
      while (at_ < text_.size() && isXmlSpace(text_[at_])) ++at_;
      if (rest().starts_with("<?")) {
        if (!skipPast("?>")) return false;
      } else if (rest().starts_with("<!--")) {
        if (!skipPast("-->")) return false;
      } else if (rest().starts_with("<!DOCTYPE")) {
        const auto end = rest().find('>');
        if (end == std::string_view::npos ||
            rest().substr(0, end).find('[') != std::string_view::npos) {
          return false;
        }
        at_ += end + 1;
      } else {
        return true;
      }
    }
  }

  std::optional<Tag> tag() {
    if (!rest().starts_with('<')) return std::nullopt;
    ++at_;
    Tag tag;
    if (rest().starts_with('/')) {
      tag.closing = true;
      ++at_;
    }
    const std::size_t start = at_;
    while (at_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[at_])) ||
                                  text_[at_] == '_' || text_[at_] == '-' || text_[at_] == ':')) {
      ++at_;
    }
    tag.name = text_.substr(start, at_ - start);
    char quote = 0;
    for (; at_ < text_.size(); ++at_) {
      const char c = text_[at_];
      if (quote != 0) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
        tag.attributes = true;
      } else if (c == '>') {
        ++at_;
        return tag.name.empty() || (tag.closing && (tag.empty || tag.attributes))
                   ? std::nullopt
                   : std::optional(tag);
      } else if (c == '/' && at_ + 1 < text_.size() && text_[at_ + 1] == '>') {
        tag.empty = true;
      } else if (!isXmlSpace(c)) {
        tag.attributes = true;
      }
    }
    return std::nullopt;
  }

  // The decoded text up to </name>: character and the five predefined entity references,
  // CDATA sections. Anything else (an element, a comment, a carriage return, which XML
  // turns into a line feed but libplist keeps) is refused.
  std::optional<std::string> text(std::string_view name) {
    std::string out;
    while (at_ < text_.size()) {
      const char c = text_[at_];
      if (c == '<') {
        if (rest().starts_with("<![CDATA[")) {
          const auto end = rest().find("]]>");
          if (end == std::string_view::npos) return std::nullopt;
          out.append(rest().substr(9, end - 9));
          at_ += end + 3;
          continue;
        }
        auto close = tag();
        if (!close || !close->closing || close->name != name) return std::nullopt;
        if (out.find('\r') != std::string::npos || !isValidUtf8(out)) return std::nullopt;
        return out;
      }
      if (c == '&') {
        const auto end = rest().find(';');
        if (end == std::string_view::npos || end > 12) return std::nullopt;
        const std::string_view entity = rest().substr(1, end - 1);
        at_ += end + 1;
        static constexpr std::pair<std::string_view, char> kNamed[] = {
            {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
        const auto named = std::find_if(std::begin(kNamed), std::end(kNamed),
                                        [&](const auto& pair) { return pair.first == entity; });
        if (named != std::end(kNamed)) {
          out += named->second;
          continue;
        }
        if (entity.size() < 2 || entity[0] != '#') return std::nullopt;
        const bool hex = entity[1] == 'x';
        const std::string_view digits = entity.substr(hex ? 2 : 1);
        if (digits.empty() ||
            digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") !=
                std::string_view::npos) {
          return std::nullopt;
        }
        const unsigned long code = std::stoul(std::string(digits), nullptr, hex ? 16 : 10);
        if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return std::nullopt;
        appendUtf8(out, static_cast<char32_t>(code));
        continue;
      }
      out += c;
      ++at_;
    }
    return std::nullopt;
  }

  std::optional<Value> value(const Tag& open, std::size_t depth) {
    if (open.closing || open.attributes || depth > kMaxPlistDepth || ++values_ > kMaxValues) {
      return std::nullopt;
    }
    const std::string_view name = open.name;
    if (name == "dict" || name == "array") {
      Value container;
      container.kind = name == "dict" ? Value::Kind::dictionary : Value::Kind::array;
      if (open.empty) return container;
      for (;;) {
        if (!skipMisc()) return std::nullopt;
        auto next = tag();
        if (!next) return std::nullopt;
        if (next->closing) {
          if (next->name != name) return std::nullopt;
          if (container.kind == Value::Kind::dictionary && !sortEntries(container)) {
            return std::nullopt;
          }
          return container;
        }
        if (container.kind == Value::Kind::dictionary) {
          if (next->name != "key" || next->attributes) return std::nullopt;
          auto key = next->empty ? std::optional<std::string>("") : text("key");
          if (!key || !skipMisc() || !(next = tag())) return std::nullopt;
          container.keys.push_back(std::move(*key));
        }
        auto item = value(*next, depth + 1);
        if (!item) return std::nullopt;
        container.items.push_back(std::move(*item));
      }
    }
    if (name == "true" || name == "false") {
      if (!open.empty) return std::nullopt;
      Value boolean;
      boolean.kind = Value::Kind::boolean;
      boolean.scalar = name == "true" ? 1 : 0;
      return boolean;
    }
    if (name != "string" && name != "integer" && name != "real" && name != "date" &&
        name != "data") {
      return std::nullopt;
    }
    auto content = open.empty ? std::optional<std::string>("") : text(name);
    if (!content) return std::nullopt;
    if (name == "string") return makeText(Value::Kind::string, std::move(*content));
    if (name == "integer") return xmlInteger(*content);
    if (name == "real") return xmlReal(*content);
    if (name == "date") return xmlDate(*content);
    return xmlData(*content);
  }

  std::string_view text_;
  std::size_t at_ = 0;
  std::size_t values_ = 0;
};

std::uint64_t readBigEndian(std::string_view bytes, std::size_t at, std::size_t size) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < size; ++i) {
    value = (value << 8) | static_cast<std::uint8_t>(bytes[at + i]);
  }
  return value;
}

// A "bplist00" file, object by object.
class BinaryReader {
 public:
  explicit BinaryReader(std::string_view bytes) : bytes_(bytes) {}

  std::optional<Value> document() {
    constexpr std::size_t kTrailerSize = 32;
    if (!bytes_.starts_with("bplist00") || bytes_.size() < 8 + kTrailerSize) return std::nullopt;
    const std::size_t trailer = bytes_.size() - kTrailerSize;
    offsetSize_ = static_cast<std::uint8_t>(bytes_[trailer + 6]);
    refSize_ = static_cast<std::uint8_t>(bytes_[trailer + 7]);
    count_ = readBigEndian(bytes_, trailer + 8, 8);
    const std::uint64_t top = readBigEndian(bytes_, trailer + 16, 8);
    table_ = readBigEndian(bytes_, trailer + 24, 8);
    if (offsetSize_ == 0 || offsetSize_ > 8 || refSize_ == 0 || refSize_ > 8 || top >= count_ ||
        table_ < 8 || table_ > trailer || (trailer - table_) / offsetSize_ < count_) {
      return std::nullopt;
    }
    return object(top, 0);
  }

 private:
  // The count in an object's marker, or in the integer that follows it when the marker's low
  // nibble is 0xF; `at` moves past what was read.
  std::optional<std::uint64_t> count(std::uint8_t marker, std::size_t& at) const {
    if ((marker & 0xF) != 0xF) return marker & 0xF;
    if (at >= table_) return std::nullopt;
    const auto sizeMarker = static_cast<std::uint8_t>(bytes_[at]);
    if ((sizeMarker >> 4) != 0x1 || (sizeMarker & 0xF) > 3) return std::nullopt;
    const std::size_t width = std::size_t{1} << (sizeMarker & 0xF);
    if (at + 1 + width > table_) return std::nullopt;
    const std::uint64_t n = readBigEndian(bytes_, at + 1, width);
    at += 1 + width;
    return n;
  }

  bool available(std::size_t at, std::uint64_t length) const {
    return at <= table_ && length <= table_ - at;
  }

  std::optional<Value> object(std::uint64_t index, std::size_t depth) {
    if (index >= count_ || depth > kMaxPlistDepth || ++values_ > kMaxValues) return std::nullopt;
    std::size_t at = readBigEndian(bytes_, table_ + index * offsetSize_, offsetSize_);
    if (at < 8 || at >= table_) return std::nullopt;
    const auto marker = static_cast<std::uint8_t>(bytes_[at++]);
    const unsigned type = marker >> 4;
    switch (type) {
      case 0x0: {
        if (marker != 0x08 && marker != 0x09) return std::nullopt;  // null and fill
        Value boolean;
        boolean.kind = Value::Kind::boolean;
        boolean.scalar = marker == 0x09 ? 1 : 0;
        return boolean;
      }
      case 0x1: {
        const unsigned power = marker & 0xF;
        if (power > 4 || !available(at, std::size_t{1} << power)) return std::nullopt;
        const std::size_t size = std::size_t{1} << power;
        if (size < 8) return makeInteger(static_cast<__int128>(readBigEndian(bytes_, at, size)));
        // 8 bytes are signed, 16 bytes a signed 128-bit number.
        unsigned __int128 raw = 0;
        for (std::size_t i = 0; i < size; ++i) {
          raw = (raw << 8) | static_cast<std::uint8_t>(bytes_[at + i]);
        }
        if (size == 8)
          return makeInteger(static_cast<std::int64_t>(static_cast<std::uint64_t>(raw)));
        return makeInteger(static_cast<__int128>(raw));
      }
      case 0x2:
      case 0x3: {
        const bool date = type == 0x3;
        if ((date && marker != 0x33) || (!date && marker != 0x22 && marker != 0x23)) {
          return std::nullopt;
        }
        const std::size_t size = marker == 0x22 ? 4 : 8;
        if (!available(at, size)) return std::nullopt;
        const std::uint64_t raw = readBigEndian(bytes_, at, size);
        const double number =
            size == 4 ? static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(raw)))
                      : std::bit_cast<double>(raw);
        return makeNumber(date ? Value::Kind::date : Value::Kind::real, number);
      }
      case 0x4:
      case 0x5:
      case 0x6: {
        const auto n = count(marker, at);
        const std::uint64_t length = n && type == 0x6 ? *n * 2 : n.value_or(0);
        if (!n || (type == 0x6 && *n > table_) || !available(at, length)) return std::nullopt;
        const std::string_view raw = bytes_.substr(at, length);
        if (type == 0x4) return makeText(Value::Kind::data, std::string(raw));
        if (type == 0x5) {
          // "ASCII" strings above 127 have no agreed encoding.
          if (std::any_of(raw.begin(), raw.end(), [](char c) { return c & 0x80; })) {
            return std::nullopt;
          }
          return makeText(Value::Kind::string, std::string(raw));
        }
        auto text = utf16ToUtf8(raw, /*bigEndian=*/true);
        if (!text) return std::nullopt;
        return makeText(Value::Kind::string, std::move(*text));
      }
      case 0x8: {
        const std::size_t size = (marker & 0xF) + 1;
        if (size > 8 || !available(at, size)) return std::nullopt;
        Value uid;
        uid.kind = Value::Kind::uid;
        uid.scalar = readBigEndian(bytes_, at, size);
        return uid;
      }
      case 0xA:
      case 0xD: {
        const auto n = count(marker, at);
        const std::uint64_t refs = type == 0xD ? 2 : 1;
        if (!n || *n > table_ || !available(at, *n * refs * refSize_)) return std::nullopt;
        Value container;
        container.kind = type == 0xD ? Value::Kind::dictionary : Value::Kind::array;
        const std::size_t values = type == 0xD ? at + *n * refSize_ : at;
        for (std::uint64_t i = 0; i < *n; ++i) {
          if (type == 0xD) {
            auto key = object(readBigEndian(bytes_, at + i * refSize_, refSize_), depth + 1);
            if (!key || key->kind != Value::Kind::string) return std::nullopt;
            container.keys.push_back(std::move(key->text));
          }
          auto item = object(readBigEndian(bytes_, values + i * refSize_, refSize_), depth + 1);
          if (!item) return std::nullopt;
          container.items.push_back(std::move(*item));
        }
        if (type == 0xD && !sortEntries(container)) return std::nullopt;
        return container;
      }
      default:  // UTF-8 strings of later formats, sets
        return std::nullopt;
    }
  }

  std::string_view bytes_;
  std::size_t offsetSize_ = 0;
  std::size_t refSize_ = 0;
  std::uint64_t count_ = 0;
  std::size_t table_ = 0;
  std::size_t values_ = 0;
};

std::optional<Value> readExactly(std::string_view bytes) {
  if (bytes.starts_with("bplist00")) return BinaryReader(bytes).document();
  return XmlReader(bytes).document();
}

}  // namespace

bool PlistRoundTrip::sameValues(std::string_view original, std::string_view rewritten) {
  // The common case, a file libplist wrote: the same bytes hold the same values.
  if (original == rewritten) return true;
  const auto before = readExactly(original);
  if (!before) return false;
  const auto after = BinaryReader(rewritten).document();
  return after && equal(*before, *after);
}

}  // namespace tilo::platform
