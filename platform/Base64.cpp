#include "platform/Base64.h"

#include <array>

namespace tilo::platform {
namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<std::int8_t, 256> kDecodeTable = [] {
  std::array<std::int8_t, 256> table{};
  table.fill(-1);
  for (std::size_t i = 0; i < kAlphabet.size(); ++i) {
    table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
  }
  return table;
}();

// White space and line breaks as UTF-8: tab, LF to CR, space, NEL, and the Unicode space,
// line and paragraph separators.
constexpr std::array<std::string_view, 25> kSpaces = {
    " ",      "\t",     "\n",     "\v",     "\f",     "\r",     "\u0085", "\u00A0", "\u1680",
    "\u2000", "\u2001", "\u2002", "\u2003", "\u2004", "\u2005", "\u2006", "\u2007", "\u2008",
    "\u2009", "\u200A", "\u2028", "\u2029", "\u202F", "\u205F", "\u3000"};

}  // namespace

std::string base64Encode(std::span<const std::uint8_t> data) {
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= data.size(); i += 3) {
    const std::uint32_t v = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  const std::size_t rest = data.size() - i;
  if (rest > 0) {
    const std::uint32_t v = (data[i] << 16) | (rest == 2 ? data[i + 1] << 8 : 0);
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::optional<Bytes> base64Decode(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  const std::size_t padding = text.ends_with("==") ? 2 : text.ends_with('=') ? 1 : 0;
  Bytes out;
  out.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    const std::size_t symbols = last ? 4 - padding : 4;
    std::uint32_t v = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      int value = 0;
      if (k < symbols) {
        value = kDecodeTable[static_cast<unsigned char>(text[i + k])];
        if (value < 0) return std::nullopt;  // also '=' anywhere but the final padding
      }
      v = (v << 6) | static_cast<std::uint32_t>(value);
    }
    out.push_back(static_cast<std::uint8_t>(v >> 16));
    if (symbols >= 3) out.push_back(static_cast<std::uint8_t>(v >> 8));
    if (symbols == 4) out.push_back(static_cast<std::uint8_t>(v));
    // The bits below the last whole byte must be zero, or two texts would decode alike.
    if ((symbols == 2 && (v & 0xFFFF) != 0) || (symbols == 3 && (v & 0xFF) != 0)) {
      return std::nullopt;
    }
  }
  return out;
}

std::string trimWhitespaceAndNewlines(std::string_view text) {
  auto strip = [&](auto matches, auto remove) {
    for (bool removed = true; removed && !text.empty();) {
      removed = false;
      for (std::string_view space : kSpaces) {
        if (matches(space)) {
          remove(space.size());
          removed = true;
          break;
        }
      }
    }
  };
  strip([&](std::string_view s) { return text.starts_with(s); },
        [&](std::size_t n) { text.remove_prefix(n); });
  strip([&](std::string_view s) { return text.ends_with(s); },
        [&](std::size_t n) { text.remove_suffix(n); });
  return std::string(text);
}

}  // namespace tilo::platform
