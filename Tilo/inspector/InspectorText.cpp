#include "Tilo/inspector/InspectorText.h"

#include <cmath>
#include <cstdio>

#include "Tilo/base/TiloLogger.h"
#include "platform/Unicode.h"

namespace tilo::inspector {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The next code point of `text` from `at`, or nullopt for a byte that starts no valid
// sequence (which then counts alone).
std::optional<char32_t> decodeAt(std::string_view text, std::size_t& at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t length = lead < 0x80           ? 1
                       : (lead >> 5) == 0x6  ? 2
                       : (lead >> 4) == 0xE  ? 3
                       : (lead >> 3) == 0x1E ? 4
                                             : 0;
  if (length == 0 || at + length > text.size() || !platform::isValidUtf8(text.substr(at, length))) {
    ++at;
    return std::nullopt;
  }
  char32_t point = length == 1 ? lead : lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    point = (point << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
  }
  at += length;
  return point;
}

bool isHidden(char32_t point) {
  return point < 0x20 || (point >= 0x7F && point < 0xA0) || point == 0x2028 || point == 0x2029 ||
         (point >= 0x200B && point <= 0x200F) || (point >= 0x202A && point <= 0x202E) ||
         (point >= 0x2066 && point <= 0x2069) || point == 0xFEFF;
}

}  // namespace

std::string shownText(std::string_view text, std::size_t maxCharacters) {
  if (maxCharacters == 0) return {};
  std::string shown;
  std::size_t count = 0;
  std::size_t at = 0;
  std::size_t lastFits = 0;  // bytes of the first maxCharacters - 1 characters
  while (at < text.size()) {
    if (count == maxCharacters) {
      shown.resize(lastFits);
      platform::appendUtf8(shown, U'…');
      return shown;
    }
    if (count + 1 == maxCharacters) lastFits = shown.size();
    const auto point = decodeAt(text, at);
    platform::appendUtf8(shown, point && !isHidden(*point) ? *point : kReplacement);
    ++count;
  }
  return shown;
}

std::string shownDuration(double milliseconds) {
  char text[48];
  if (!std::isfinite(milliseconds) || milliseconds < 0) return "–";
  if (milliseconds < 1000) {
    std::snprintf(text, sizeof text, "%.0f ms", milliseconds);
  } else if (milliseconds < 60'000) {
    std::snprintf(text, sizeof text, "%.1f s", milliseconds / 1000);
  } else {
    const auto seconds = static_cast<long long>(milliseconds / 1000);
    std::snprintf(text, sizeof text, "%lld min %lld s", seconds / 60, seconds % 60);
  }
  return text;
}

std::string shownTime(double secondsSince1970) {
  return formatLogTime(secondsSince1970);
}

std::string shownChoice(std::optional<bool> value) {
  if (!value) return "not set";
  return *value ? "yes" : "no";
}

}  // namespace tilo::inspector
