// PlistValue::read: the XML and binary readers. Broken structure fails the whole reading;
// a value that cannot be held exactly is left out and the reading marked inexact, so that
// a file is rewritten only when every value in it comes back.
#include <locale.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstdlib>
#include <limits>

#include "platform/Base64.h"
#include "platform/PlistValue.h"
#include "platform/Unicode.h"

namespace tilo::platform {
namespace {

// Seconds from 1970-01-01 to 2001-01-01, the property-list epoch.
constexpr double kPlistEpochOffset = 978307200.0;

// What both readers share: the limits, and whether the reading is still whole and exact.
class Reading {
 protected:
  // False (and the reading failed) past a limit.
  bool enter(std::size_t depth) {
    if (depth >= kMaxPlistDepth || ++values_ > kMaxPlistNodes) failed_ = true;
    return !failed_;
  }
  // A value left out: nullopt, and the reading is not exact.
  std::nullopt_t leftOut() {
    exact_ = false;
    return std::nullopt;
  }
  std::nullopt_t fail() {
    failed_ = true;
    return std::nullopt;
  }
  // Sets `key` unless a value came first under it (a reader keeps only one of the two).
  void insert(PlistValue::Dictionary& dictionary, std::string key, PlistValue value) {
    if (!dictionary.try_emplace(std::move(key), std::move(value)).second) exact_ = false;
  }

  std::optional<PlistReading> result(std::optional<PlistValue> root, PlistFormat format) const {
    if (failed_ || !root) return std::nullopt;
    return PlistReading{std::move(*root), format, exact_};
  }

  bool failed_ = false;
  bool exact_ = true;
  std::size_t values_ = 0;
};

bool isXmlSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view trimXmlSpace(std::string_view text) {
  while (!text.empty() && isXmlSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isXmlSpace(text.back())) text.remove_suffix(1);
  return text;
}

std::optional<PlistValue> xmlInteger(std::string_view text) {
  text = trimXmlSpace(text);
  const bool negative = text.starts_with('-');
  if (negative || text.starts_with('+')) text.remove_prefix(1);
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  // The magnitude as unsigned, so that the most negative value reads too.
  std::uint64_t magnitude = 0;
  for (char digit : text) {
    if (magnitude > (std::numeric_limits<std::uint64_t>::max() - (digit - '0')) / 10) {
      return std::nullopt;
    }
    magnitude = magnitude * 10 + static_cast<std::uint64_t>(digit - '0');
  }
  constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  if (magnitude > kMax + (negative ? 1 : 0)) return std::nullopt;
  return PlistValue(static_cast<std::int64_t>(negative ? 0 - magnitude : magnitude));
}

std::optional<PlistValue> xmlReal(std::string_view text) {
  // strtod in the C locale whatever the host set ("0.5", "nan", "+infinity", "1e999").
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
  const std::string token(trimXmlSpace(text));
  if (token.empty() || cLocale == nullptr) return std::nullopt;
  char* end = nullptr;
  const double number = strtod_l(token.c_str(), &end, cLocale);
  if (end != token.c_str() + token.size()) return std::nullopt;
  return PlistValue(number);
}

// Only the form property lists are written in: "2020-01-01T00:00:00Z".
std::optional<PlistValue> xmlDate(std::string_view text) {
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
  if (!year || !month || !day || !hour || !minute || !second || *year < 1 || *month < 1 ||
      *month > 12 || *hour > 23 || *minute > 59 || *second > 59) {
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
  return PlistValue(
      PlistValue::Date{static_cast<double>(days * 86400 + *hour * 3600 + *minute * 60 + *second)});
}

std::optional<PlistValue> xmlData(std::string_view text) {
  std::string compact;
  for (char c : text) {
    if (!isXmlSpace(c)) compact += c;
  }
  auto bytes = base64Decode(compact);
  if (!bytes) return std::nullopt;
  return PlistValue(std::move(*bytes));
}

// The encoding an XML declaration names, in lower case; empty without one.
std::string declaredEncoding(std::string_view text) {
  if (!text.starts_with("<?xml")) return {};
  const std::string_view declaration = text.substr(0, text.find("?>"));
  const auto name = declaration.find("encoding");
  if (name == std::string_view::npos) return {};
  const auto open = declaration.find_first_of("\"'", name);
  if (open == std::string_view::npos) return {};
  const auto close = declaration.find(declaration[open], open + 1);
  if (close == std::string_view::npos) return {};
  std::string encoding(declaration.substr(open + 1, close - open - 1));
  for (char& c : encoding) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return encoding;
}

// An XML list as UTF-8 without a byte-order mark; nullopt for an encoding other than UTF-8,
// UTF-16 and Latin-1, or text that is not in the encoding it claims.
std::optional<std::string> xmlAsUtf8(std::string_view bytes) {
  std::optional<std::string> text;
  bool utf16 = true;
  if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
    text = utf16ToUtf8(bytes.substr(2), bytes[0] == '\xFE');
  } else if (bytes.size() >= 2 && (bytes[0] == '<') != (bytes[1] == '<') &&
             (bytes[0] == '\0' || bytes[1] == '\0')) {  // "<?xml" in UTF-16 without a mark
    text = utf16ToUtf8(bytes, bytes[0] == '\0');
  } else {
    utf16 = false;
    text = std::string(bytes.starts_with("\xEF\xBB\xBF") ? bytes.substr(3) : bytes);
  }
  if (!text) return std::nullopt;
  const std::string encoding = declaredEncoding(*text);
  if (encoding.empty() || encoding == "utf-8" || encoding == "utf8") return text;
  if (encoding.starts_with("utf-16")) return utf16 ? text : std::nullopt;
  if (utf16) return std::nullopt;
  if (encoding == "us-ascii" || encoding == "ascii") {
    const bool ascii = std::none_of(text->begin(), text->end(), [](char c) { return c & 0x80; });
    return ascii ? text : std::nullopt;
  }
  if (encoding == "iso-8859-1" || encoding == "latin1" || encoding == "iso_8859-1") {
    // Every Latin-1 byte is the code point of the same number.
    std::string converted;
    converted.reserve(text->size());
    for (char c : *text) appendUtf8(converted, static_cast<std::uint8_t>(c));
    return converted;
  }
  return std::nullopt;
}

// An XML property list in UTF-8, read by the rules of XML as far as property lists use them.
class XmlReader : Reading {
 public:
  explicit XmlReader(std::string_view text) : text_(text) {}

  std::optional<PlistReading> document() {
    if (!skipMisc()) return std::nullopt;
    auto open = tag();
    if (!open) return std::nullopt;
    std::optional<PlistValue> root;
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
    return result(std::move(root), PlistFormat::xml);
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

  // The decoded text up to </name>: characters, the five predefined entities, character
  // references and CDATA sections; anything else fails. Text a rewrite would not give back
  // (a raw carriage return, which XML reads as a line feed, another raw control character,
  // bytes that are not UTF-8) is left out.
  std::optional<std::string> text(std::string_view name) {
    std::string out;
    bool odd = false;
    while (at_ < text_.size()) {
      const char c = text_[at_];
      if (c == '<') {
        if (rest().starts_with("<![CDATA[")) {
          const auto end = rest().find("]]>");
          if (end == std::string_view::npos) return fail();
          const std::string_view raw = rest().substr(9, end - 9);
          odd = odd || std::any_of(raw.begin(), raw.end(), [](char r) {
                  return static_cast<unsigned char>(r) < 0x20 && r != '\t' && r != '\n';
                });
          out.append(raw);
          at_ += end + 3;
          continue;
        }
        auto close = tag();
        if (!close || !close->closing || close->name != name) return fail();
        if (odd || !isValidUtf8(out)) return leftOut();
        return out;
      }
      if (c == '&') {
        const auto end = rest().find(';');
        if (end == std::string_view::npos || end > 12) return fail();
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
        if (entity.size() < 2 || entity[0] != '#') return fail();
        const bool hex = entity[1] == 'x';
        const std::string_view digits = entity.substr(hex ? 2 : 1);
        if (digits.empty() || digits.size() > 8 ||
            digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") !=
                std::string_view::npos) {
          return fail();
        }
        const unsigned long code =
            std::strtoul(std::string(digits).c_str(), nullptr, hex ? 16 : 10);
        // Characters XML does not have.
        if ((code < 0x20 && code != '\t' && code != '\n' && code != '\r') || code > 0x10FFFF ||
            (code >= 0xD800 && code <= 0xDFFF)) {
          return fail();
        }
        appendUtf8(out, static_cast<char32_t>(code));
        continue;
      }
      odd = odd || (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n');
      out += c;
      ++at_;
    }
    return fail();
  }

  std::optional<PlistValue> value(const Tag& open, std::size_t depth) {
    if (open.closing || open.attributes || !enter(depth)) return fail();
    const std::string_view name = open.name;
    if (name == "dict" || name == "array") {
      const bool isDictionary = name == "dict";
      PlistValue::Array array;
      PlistValue::Dictionary dictionary;
      for (bool done = open.empty; !done;) {
        if (!skipMisc()) return fail();
        auto next = tag();
        if (!next) return fail();
        if (next->closing) {
          if (next->name != name) return fail();
          break;
        }
        std::optional<std::string> key;
        if (isDictionary) {
          if (next->name != "key" || next->attributes) return fail();
          key = next->empty ? std::optional<std::string>("") : text("key");
          if (failed_ || !skipMisc() || !(next = tag())) return fail();
        }
        auto item = value(*next, depth + 1);
        if (failed_) return std::nullopt;
        if (!item || (isDictionary && !key)) continue;
        if (isDictionary) {
          insert(dictionary, std::move(*key), std::move(*item));
        } else {
          array.push_back(std::move(*item));
        }
      }
      return isDictionary ? PlistValue(std::move(dictionary)) : PlistValue(std::move(array));
    }
    if (name == "true" || name == "false") {
      if (!open.empty) return fail();
      return PlistValue(name == "true");
    }
    if (name != "string" && name != "integer" && name != "real" && name != "date" &&
        name != "data") {
      return fail();
    }
    auto content = open.empty ? std::optional<std::string>("") : text(name);
    if (!content) return std::nullopt;
    std::optional<PlistValue> parsed = name == "string"    ? PlistValue(std::move(*content))
                                       : name == "integer" ? xmlInteger(*content)
                                       : name == "real"    ? xmlReal(*content)
                                       : name == "date"    ? xmlDate(*content)
                                                           : xmlData(*content);
    if (!parsed) return leftOut();
    return parsed;
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

std::uint64_t readBigEndian(std::string_view bytes, std::size_t at, std::size_t size) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < size; ++i) {
    value = (value << 8) | static_cast<std::uint8_t>(bytes[at + i]);
  }
  return value;
}

// A "bplist00" file, object by object.
class BinaryReader : Reading {
 public:
  explicit BinaryReader(std::string_view bytes) : bytes_(bytes) {}

  std::optional<PlistReading> document() {
    constexpr std::size_t kTrailerSize = 32;
    if (bytes_.size() < 8 + kTrailerSize) return std::nullopt;
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
    return result(object(top, 0), PlistFormat::binary);
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

  std::optional<PlistValue> object(std::uint64_t index, std::size_t depth) {
    if (index >= count_ || !enter(depth)) return fail();
    std::size_t at = readBigEndian(bytes_, table_ + index * offsetSize_, offsetSize_);
    if (at < 8 || at >= table_) return fail();
    const auto marker = static_cast<std::uint8_t>(bytes_[at++]);
    const unsigned type = marker >> 4;
    switch (type) {
      case 0x0:
        if (marker != 0x08 && marker != 0x09) return leftOut();  // null and fill
        return PlistValue(marker == 0x09);
      case 0x1: {
        const unsigned power = marker & 0xF;
        if (power > 4 || !available(at, std::size_t{1} << power)) return fail();
        const std::size_t size = std::size_t{1} << power;
        // Below 8 bytes unsigned, 8 bytes signed, 16 bytes a signed 128-bit number.
        if (size < 8) return PlistValue(static_cast<std::int64_t>(readBigEndian(bytes_, at, size)));
        const auto low = static_cast<std::int64_t>(readBigEndian(bytes_, at + size - 8, 8));
        if (size == 16) {
          const std::uint64_t high = readBigEndian(bytes_, at, 8);
          if (high != (low < 0 ? ~std::uint64_t{0} : 0)) return leftOut();
        }
        return PlistValue(low);
      }
      case 0x2:
      case 0x3: {
        const bool date = type == 0x3;
        if ((date && marker != 0x33) || (!date && marker != 0x22 && marker != 0x23)) {
          return leftOut();
        }
        const std::size_t size = marker == 0x22 ? 4 : 8;
        if (!available(at, size)) return fail();
        const std::uint64_t raw = readBigEndian(bytes_, at, size);
        const double number =
            size == 4 ? static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(raw)))
                      : std::bit_cast<double>(raw);
        if (date) return PlistValue(PlistValue::Date{number + kPlistEpochOffset});
        return PlistValue(number);
      }
      case 0x4:
      case 0x5:
      case 0x6: {
        const auto n = count(marker, at);
        if (!n || (type == 0x6 && *n > table_)) return fail();
        const std::uint64_t length = type == 0x6 ? *n * 2 : *n;
        if (!available(at, length)) return fail();
        const std::string_view raw = bytes_.substr(at, length);
        if (type == 0x4) return PlistValue(Bytes(raw.begin(), raw.end()));
        if (type == 0x5) {
          // "ASCII" strings above 127 have no agreed encoding.
          if (std::any_of(raw.begin(), raw.end(), [](char c) { return c & 0x80; })) {
            return leftOut();
          }
          return PlistValue(std::string(raw));
        }
        auto text = utf16ToUtf8(raw, /*bigEndian=*/true);
        if (!text) return leftOut();
        return PlistValue(std::move(*text));
      }
      case 0xA:
      case 0xD: {
        const auto n = count(marker, at);
        const std::uint64_t refs = type == 0xD ? 2 : 1;
        if (!n || *n > table_ || !available(at, *n * refs * refSize_)) return fail();
        PlistValue::Array array;
        if (type == 0xA) array.reserve(std::min<std::uint64_t>(*n, kMaxPlistNodes));
        PlistValue::Dictionary dictionary;
        const std::size_t values = type == 0xD ? at + *n * refSize_ : at;
        for (std::uint64_t i = 0; i < *n; ++i) {
          std::optional<PlistValue> key;
          if (type == 0xD) {
            key = object(readBigEndian(bytes_, at + i * refSize_, refSize_), depth + 1);
            if (failed_) return std::nullopt;
            if (key && !key->asString()) key = leftOut();
          }
          auto item = object(readBigEndian(bytes_, values + i * refSize_, refSize_), depth + 1);
          if (failed_) return std::nullopt;
          if (!item || (type == 0xD && !key)) continue;
          if (type == 0xD) {
            insert(dictionary, *key->asString(), std::move(*item));
          } else {
            array.push_back(std::move(*item));
          }
        }
        return type == 0xD ? PlistValue(std::move(dictionary)) : PlistValue(std::move(array));
      }
      default:  // UIDs, UTF-8 strings of later formats, sets
        return leftOut();
    }
  }

  std::string_view bytes_;
  std::size_t offsetSize_ = 0;
  std::size_t refSize_ = 0;
  std::uint64_t count_ = 0;
  std::size_t table_ = 0;
};

}  // namespace

std::optional<PlistReading> PlistValue::read(std::string_view bytes) {
  if (bytes.starts_with("bplist00")) return BinaryReader(bytes).document();
  const auto text = xmlAsUtf8(bytes);
  if (!text) return std::nullopt;
  return XmlReader(*text).document();
}

}  // namespace tilo::platform
