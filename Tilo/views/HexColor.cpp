#include "Tilo/views/HexColor.h"

#include <cstdint>
#include <limits>

namespace tilo {

namespace {

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

platform::UIColor hexColor(std::string_view text) {
  while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
  if (!text.empty() && text.front() == '#') text.remove_prefix(1);
  std::uint64_t value = 0;
  for (char c : text) {
    int digit = hexDigit(c);
    if (digit < 0) break;
    if (value > (std::numeric_limits<std::uint64_t>::max() >> 4)) {
      value = std::numeric_limits<std::uint64_t>::max();
      break;
    }
    value = (value << 4) | static_cast<std::uint64_t>(digit);
  }
  auto channel = [value](int shift) {
    return static_cast<double>((value >> shift) & 0xFF) / 255.0;
  };
  return platform::UIColor(channel(16), channel(8), channel(0), 1.0);
}

}  // namespace tilo
