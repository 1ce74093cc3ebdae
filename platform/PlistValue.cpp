#include "platform/PlistValue.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
#include <vector>

#include "platform/BinaryPlistSplice.h"
#include "platform/PlistRoundTrip.h"
#include "platform/Unicode.h"

namespace tilo::platform {
namespace {

// libplist counts dates from 2001-01-01, the property-list epoch.
constexpr double kPlistEpochOffset = 978307200.0;

struct NodeDeleter {
  void operator()(void* node) const { plist_free(node); }
};
using NodePtr = std::unique_ptr<void, NodeDeleter>;

template <typename Free>
std::string takeBuffer(char* buffer, std::uint32_t length, Free release) {
  std::string out = buffer ? std::string(buffer, length) : std::string();
  if (buffer) release(buffer);
  return out;
}

std::uint64_t readBigEndian(std::string_view bytes, std::size_t at, std::size_t size) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < size; ++i) {
    value = (value << 8) | static_cast<std::uint8_t>(bytes[at + i]);
  }
  return value;
}

// Walks the object graph of a "bplist00" file as libplist will expand it, computing each
// object's depth and expanded node count once (so a graph that shares objects costs its
// size, not its expansion). False for a cycle, a broken reference or a limit passed.
bool binaryWithinLimits(std::string_view bytes) {
  constexpr std::size_t kTrailerSize = 32;
  if (bytes.size() < 8 + kTrailerSize) return false;
  const std::size_t trailer = bytes.size() - kTrailerSize;
  const std::size_t offsetSize = static_cast<std::uint8_t>(bytes[trailer + 6]);
  const std::size_t refSize = static_cast<std::uint8_t>(bytes[trailer + 7]);
  const std::uint64_t count = readBigEndian(bytes, trailer + 8, 8);
  const std::uint64_t top = readBigEndian(bytes, trailer + 16, 8);
  const std::uint64_t table = readBigEndian(bytes, trailer + 24, 8);
  if (offsetSize == 0 || offsetSize > 8 || refSize == 0 || refSize > 8 || count == 0 ||
      top >= count || table < 8 || table > trailer || (trailer - table) / offsetSize < count) {
    return false;
  }
  struct Children {
    std::size_t refs;
    std::uint64_t count;
  };
  auto childrenOf = [&](std::uint64_t object) -> std::optional<Children> {
    const std::uint64_t at = readBigEndian(bytes, table + object * offsetSize, offsetSize);
    if (at < 8 || at >= table) return std::nullopt;
    const auto marker = static_cast<std::uint8_t>(bytes[at]);
    const unsigned type = marker >> 4;
    // Arrays, ordered sets, sets and dictionaries hold references; nothing else does.
    if (type < 0xA || type > 0xD) return Children{0, 0};
    std::uint64_t n = marker & 0xF;
    std::size_t refs = at + 1;
    if (n == 0xF) {
      if (refs >= table) return std::nullopt;
      const auto sizeMarker = static_cast<std::uint8_t>(bytes[refs]);
      if ((sizeMarker >> 4) != 0x1 || (sizeMarker & 0xF) > 3) return std::nullopt;
      const std::size_t width = std::size_t{1} << (sizeMarker & 0xF);
      if (refs + 1 + width > table) return std::nullopt;
      n = readBigEndian(bytes, refs + 1, width);
      refs += 1 + width;
    }
    const std::uint64_t room = (table - refs) / refSize;
    if (n > room || (type == 0xD && n > room / 2)) return std::nullopt;
    return Children{refs, type == 0xD ? n * 2 : n};
  };

  constexpr std::uint32_t kOnPath = std::numeric_limits<std::uint32_t>::max();
  std::vector<std::uint32_t> depth(count, 0);  // 0: not reached yet
  std::vector<std::uint32_t> nodes(count, 0);
  struct Frame {
    std::uint64_t object;
    Children children;
    std::uint64_t next = 0;
    std::uint32_t deepest = 0;
    std::uint64_t total = 1;
  };
  std::vector<Frame> stack;
  auto enter = [&](std::uint64_t object) {
    const auto children = childrenOf(object);
    if (!children || stack.size() >= kMaxPlistDepth) return false;
    depth[object] = kOnPath;
    stack.push_back({object, *children});
    return true;
  };
  if (!enter(top)) return false;
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.next < frame.children.count) {
      const std::uint64_t child =
          readBigEndian(bytes, frame.children.refs + frame.next * refSize, refSize);
      ++frame.next;
      if (child >= count || depth[child] == kOnPath) return false;
      if (depth[child] == 0) {
        if (!enter(child)) return false;
        continue;
      }
      frame.deepest = std::max(frame.deepest, depth[child]);
      frame.total += nodes[child];
      if (frame.total > kMaxPlistNodes) return false;
      continue;
    }
    const Frame done = frame;
    stack.pop_back();
    depth[done.object] = done.deepest + 1;
    nodes[done.object] = static_cast<std::uint32_t>(done.total);
    if (!stack.empty()) {
      Frame& parent = stack.back();
      parent.deepest = std::max(parent.deepest, depth[done.object]);
      parent.total += done.total;
      if (parent.total > kMaxPlistNodes) return false;
    }
  }
  return depth[top] <= kMaxPlistDepth;
}

// XML lists share nothing, so only the nesting of arrays and dictionaries matters. The
// scan is coarser than XML (it does not skip comments), which can only refuse more.
bool xmlWithinLimits(std::string_view bytes) {
  std::size_t depth = 0;
  for (auto at = bytes.find('<'); at != std::string_view::npos; at = bytes.find('<', at + 1)) {
    std::string_view tag = bytes.substr(at + 1);
    const bool closing = tag.starts_with('/');
    if (closing) tag.remove_prefix(1);
    const std::size_t name = tag.starts_with("array") ? 5 : tag.starts_with("dict") ? 4 : 0;
    if (name == 0 || tag.size() <= name) continue;
    const char next = tag[name];
    if (next != '>' && next != '/' && next != ' ' && next != '\t' && next != '\r' && next != '\n') {
      continue;
    }
    if (closing) {
      if (depth > 0) --depth;
      continue;
    }
    const auto end = tag.find('>');
    if (end == std::string_view::npos) return true;  // unterminated: libplist refuses it
    if (tag[end - 1] == '/') continue;               // <array/>
    if (++depth > kMaxPlistDepth) return false;
  }
  return true;
}

std::string unescapeXml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      out += text[i];
      continue;
    }
    static constexpr std::pair<std::string_view, char> kEntities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    bool matched = false;
    for (const auto& [entity, character] : kEntities) {
      if (text.substr(i).starts_with(entity)) {
        out += character;
        i += entity.size() - 1;
        matched = true;
        break;
      }
    }
    if (!matched) out += '&';
  }
  return out;
}

std::string stringOf(plist_t node) {
  std::uint64_t length = 0;
  const char* text = plist_get_string_ptr(node, &length);
  return text ? std::string(text, length) : std::string();
}

// The key of a dictionary item. libplist has no length-aware getter for keys, and its
// plist_get_key_val aborts when a key holds a NUL; its XML writer uses the stored length,
// so the key is read back from there.
std::optional<std::string> keyOf(plist_t item) {
  plist_t key = plist_dict_item_get_key(item);
  if (!key) return std::nullopt;
  char* buffer = nullptr;
  std::uint32_t length = 0;
  plist_to_xml(key, &buffer, &length);
  const std::string xml = takeBuffer(buffer, length, plist_to_xml_free);
  const auto open = xml.find("<key>");
  const auto close = xml.rfind("</key>");
  if (open == std::string::npos || close == std::string::npos || close < open + 5) {
    if (xml.find("<key/>") != std::string::npos) return std::string();
    return std::nullopt;
  }
  return unescapeXml(std::string_view(xml).substr(open + 5, close - open - 5));
}

std::optional<PlistValue> convert(plist_t node, std::size_t depth);

// The length of the valid UTF-8 sequence at text[i], 0 when there is none. Runs of ASCII
// (the Base64 the SDK stores) are skipped eight bytes at a time.
std::size_t utf8SequenceLength(const std::string& text, std::size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  std::size_t length = lead < 0x80                    ? 1
                       : lead >= 0xC2 && lead <= 0xDF ? 2
                       : lead >= 0xE0 && lead <= 0xEF ? 3
                       : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                      : 0;
  bool valid = length != 0 && i + length <= text.size();
  for (std::size_t k = 1; valid && k < length; ++k) {
    valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
  }
  if (valid && length >= 3) {
    // No overlong forms, surrogates or code points above U+10FFFF.
    const auto second = static_cast<unsigned char>(text[i + 1]);
    valid = !(lead == 0xE0 && second < 0xA0) && !(lead == 0xED && second > 0x9F) &&
            !(lead == 0xF0 && second < 0x90) && !(lead == 0xF4 && second > 0x8F);
  }
  return valid ? length : 0;
}

bool isValidUtf8(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    if (i + 8 <= text.size()) {
      std::uint64_t word;
      std::memcpy(&word, text.data() + i, 8);
      if ((word & 0x8080808080808080ULL) == 0) {
        i += 8;
        continue;
      }
    }
    const std::size_t length = utf8SequenceLength(text, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

// libplist writes a string with invalid UTF-8 into a binary list that it then cannot read
// back, which would cost every other key of the file: such sequences become U+FFFD.
std::string validUtf8(const std::string& text) {
  if (isValidUtf8(text)) return text;
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = utf8SequenceLength(text, i);
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    out.append(text, i, length);
    i += length;
  }
  return out;
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

}  // namespace

std::optional<std::string> PlistValue::readableBytes(std::string_view bytes) {
  if (bytes.starts_with("bplist")) return std::string(bytes);
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

std::optional<PlistValue> PlistValue::fromNode(plist_t node) {
  return convert(node, 0);
}

namespace {

std::optional<PlistValue> convert(plist_t node, std::size_t depth) {
  if (!node || depth > kMaxPlistDepth) return std::nullopt;
  using Array = PlistValue::Array;
  using Dictionary = PlistValue::Dictionary;
  using Date = PlistValue::Date;
  switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
      std::uint8_t value = 0;
      plist_get_bool_val(node, &value);
      return PlistValue(value != 0);
    }
    case PLIST_UINT: {
      // Negative integers are stored as their two's-complement bit pattern.
      std::uint64_t value = 0;
      plist_get_uint_val(node, &value);
      return PlistValue(static_cast<std::int64_t>(value));
    }
    case PLIST_REAL: {
      double value = 0;
      plist_get_real_val(node, &value);
      return PlistValue(value);
    }
    case PLIST_STRING:
      return PlistValue(stringOf(node));
    case PLIST_DATA: {
      char* value = nullptr;
      std::uint64_t length = 0;
      plist_get_data_val(node, &value, &length);
      Bytes out(value, value + (value ? length : 0));
      std::free(value);
      return PlistValue(std::move(out));
    }
    case PLIST_DATE: {
      std::int32_t seconds = 0, micros = 0;
      plist_get_date_val(node, &seconds, &micros);
      return PlistValue(Date{kPlistEpochOffset + seconds + micros / 1e6});
    }
    case PLIST_ARRAY: {
      Array out;
      std::uint32_t size = plist_array_get_size(node);
      out.reserve(size);
      // An iterator, since looking an item up by index walks the list from its start.
      plist_array_iter iter = nullptr;
      plist_array_new_iter(node, &iter);
      for (;;) {
        plist_t item = nullptr;
        plist_array_next_item(node, iter, &item);
        if (!item) break;
        if (auto value = convert(item, depth + 1)) out.push_back(std::move(*value));
      }
      std::free(iter);
      return PlistValue(std::move(out));
    }
    case PLIST_DICT: {
      Dictionary out;
      plist_dict_iter iter = nullptr;
      plist_dict_new_iter(node, &iter);
      for (;;) {
        plist_t item = nullptr;
        plist_dict_next_item(node, iter, nullptr, &item);
        if (!item) break;
        auto key = keyOf(item);
        if (auto value = convert(item, depth + 1); value && key) {
          out.insert_or_assign(std::move(*key), std::move(*value));
        }
      }
      std::free(iter);
      return PlistValue(std::move(out));
    }
    default:
      return std::nullopt;
  }
}

}  // namespace

plist_t PlistValue::toNode() const {
  struct Visitor {
    plist_t operator()(const std::string& v) const {
      return plist_new_string(isValidUtf8(v) ? v.c_str() : validUtf8(v).c_str());
    }
    plist_t operator()(std::int64_t v) const {
      return plist_new_uint(static_cast<std::uint64_t>(v));
    }
    plist_t operator()(double v) const { return plist_new_real(v); }
    plist_t operator()(bool v) const { return plist_new_bool(v ? 1 : 0); }
    plist_t operator()(const Bytes& v) const {
      return plist_new_data(reinterpret_cast<const char*>(v.data()), v.size());
    }
    plist_t operator()(const Date& v) const {
      // libplist holds whole seconds in 32 bits: a date outside them is written as the
      // nearest one it can hold (the file's own reading then differs, so a host file
      // with such a date is never rewritten).
      constexpr double kMin = std::numeric_limits<std::int32_t>::min();
      constexpr double kMax = std::numeric_limits<std::int32_t>::max();
      const double since2001 = v.secondsSince1970 - kPlistEpochOffset;
      if (!(since2001 >= kMin && since2001 < kMax)) {
        return plist_new_date(since2001 < kMin ? std::numeric_limits<std::int32_t>::min()
                                               : std::numeric_limits<std::int32_t>::max(),
                              0);
      }
      const double seconds = std::floor(since2001);
      return plist_new_date(static_cast<std::int32_t>(seconds),
                            static_cast<std::int32_t>(std::lround((since2001 - seconds) * 1e6)));
    }
    plist_t operator()(const Array& v) const {
      plist_t node = plist_new_array();
      for (const auto& item : v) plist_array_append_item(node, item.toNode());
      return node;
    }
    plist_t operator()(const Dictionary& v) const {
      plist_t node = plist_new_dict();
      for (const auto& [key, item] : v) {
        plist_dict_set_item(node, isValidUtf8(key) ? key.c_str() : validUtf8(key).c_str(),
                            item.toNode());
      }
      return node;
    }
  };
  return std::visit(Visitor{}, storage_);
}

bool PlistValue::withinLimits(std::string_view bytes) {
  return bytes.starts_with("bplist00") ? binaryWithinLimits(bytes) : xmlWithinLimits(bytes);
}

std::optional<PlistValue> PlistValue::parse(std::string_view original) {
  const auto readable = readableBytes(original);
  if (!readable) return std::nullopt;
  const std::string_view bytes = *readable;
  if (bytes.empty() || bytes.size() > std::numeric_limits<std::uint32_t>::max() ||
      !withinLimits(bytes)) {
    return std::nullopt;
  }
  plist_t root = nullptr;
  plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
  NodePtr owner(root);
  return fromNode(root);
}

std::string PlistValue::toBinary() const {
  NodePtr node(toNode());
  char* buffer = nullptr;
  std::uint32_t length = 0;
  plist_to_bin(node.get(), &buffer, &length);
  return takeBuffer(buffer, length, plist_to_bin_free);
}

std::string PlistValue::toXml() const {
  NodePtr node(toNode());
  char* buffer = nullptr;
  std::uint32_t length = 0;
  plist_to_xml(node.get(), &buffer, &length);
  return takeBuffer(buffer, length, plist_to_xml_free);
}

void PlistDocument::Free::operator()(void* node) const {
  plist_free(node);
}

PlistDocument::PlistDocument() : PlistDocument(plist_new_dict()) {}

PlistDocument::PlistDocument(plist_t root) : root_(root), standInPrefix_(makeStandInPrefix()) {}

std::string PlistDocument::standInFor(const std::string& key) const {
  return standInPrefix_ +
         std::to_string(std::distance(longStrings_.begin(), longStrings_.find(key)));
}

std::optional<PlistDocument> PlistDocument::parse(std::string_view original) {
  const auto readable = PlistValue::readableBytes(original);
  if (!readable) return std::nullopt;
  const std::string_view bytes = *readable;
  if (bytes.empty() || bytes.size() > std::numeric_limits<std::uint32_t>::max() ||
      !PlistValue::withinLimits(bytes)) {
    return std::nullopt;
  }
  plist_t root = nullptr;
  plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
  PlistDocument document(root);
  if (!root || plist_get_node_type(root) != PLIST_DICT) return std::nullopt;
  return document;
}

bool PlistDocument::keepsEveryValueOf(std::string_view bytes) const {
  const auto readable = PlistValue::readableBytes(bytes);
  if (!readable) return false;
  // Written back, the file must hold what `bytes` held; and read once more by libplist (at
  // the next start, or by a host that uses it) it must still hold that: libplist writes
  // UTF-16 text that is ASCII with a NUL as ASCII, which it then reads only up to the NUL.
  const std::string rewritten = toBinary();
  // The common case, a file libplist wrote: written back, it is the same bytes.
  if (rewritten == *readable) return true;
  const auto reread = parse(rewritten);
  return reread && PlistRoundTrip::sameValues(*readable, rewritten) &&
         PlistRoundTrip::sameValues(rewritten, reread->toBinary());
}

std::optional<PlistValue> PlistDocument::value(const std::string& key) const {
  if (auto found = longStrings_.find(key); found != longStrings_.end()) {
    return PlistValue(found->second);
  }
  return PlistValue::fromNode(plist_dict_get_item(root_.get(), key.c_str()));
}

void PlistDocument::set(const std::string& key, const PlistValue& value) {
  const std::string* text = value.asString();
  if (!text || !isLongAsciiText(*text, kLongString)) {
    longStrings_.erase(key);
    plist_dict_set_item(root_.get(), key.c_str(), value.toNode());
    return;
  }
  longStrings_[key] = *text;
  // Stand-ins follow the map's order: every key's is rewritten when one comes or goes.
  for (const auto& [name, _] : longStrings_) {
    plist_dict_set_item(root_.get(), name.c_str(), plist_new_string(standInFor(name).c_str()));
  }
}

bool PlistDocument::remove(const std::string& key) {
  if (!plist_dict_get_item(root_.get(), key.c_str())) return false;
  plist_dict_remove_item(root_.get(), key.c_str());
  if (longStrings_.erase(key) > 0) {
    for (const auto& [name, _] : longStrings_) {
      plist_dict_set_item(root_.get(), name.c_str(), plist_new_string(standInFor(name).c_str()));
    }
  }
  return true;
}

std::string PlistDocument::toBinary() const {
  char* buffer = nullptr;
  std::uint32_t length = 0;
  if (longStrings_.empty()) {
    plist_to_bin(root_.get(), &buffer, &length);
    return takeBuffer(buffer, length, plist_to_bin_free);
  }
  plist_to_bin(root_.get(), &buffer, &length);
  const std::string withStandIns = takeBuffer(buffer, length, plist_to_bin_free);
  std::vector<std::pair<std::string, std::string_view>> texts;
  for (const auto& [key, text] : longStrings_) texts.emplace_back(standInFor(key), text);
  if (auto spliced = spliceAsciiStrings(withStandIns, texts)) return std::move(*spliced);
  // Not expected; a whole copy with the texts in place is written the slow way.
  NodePtr copy(plist_copy(root_.get()));
  for (const auto& [key, text] : longStrings_) {
    plist_dict_set_item(copy.get(), key.c_str(), plist_new_string(text.c_str()));
  }
  plist_to_bin(copy.get(), &buffer, &length);
  return takeBuffer(buffer, length, plist_to_bin_free);
}

}  // namespace tilo::platform
