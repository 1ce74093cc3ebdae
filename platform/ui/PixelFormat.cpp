#include "platform/ui/PixelFormat.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace tilo::platform {
namespace {

constexpr bool kLittleEndian = std::endian::native == std::endian::little;

std::uint32_t load(const std::uint8_t* in) {
  std::uint32_t p;
  std::memcpy(&p, in, 4);
  return p;
}

// One row of `count` pixels, the format's loop chosen once per row so that each inner
// loop has no branch on the format (and the swaps vectorize).
void copyRow(const std::uint8_t* in, std::uint8_t* out, int count, PixelFormat format) {
  if (format == PixelFormat::bgraPremultiplied && kLittleEndian) {
    std::memcpy(out, in, static_cast<std::size_t>(count) * 4);  // the same bytes
    return;
  }
  if (format == PixelFormat::rgbaPremultiplied && kLittleEndian) {
    // 0xAARRGGBB words to R, G, B, A bytes: swap red and blue.
    for (int x = 0; x < count; ++x) {
      std::uint32_t p = load(in + 4 * x);
      std::uint32_t swapped = (p & 0xFF00FF00u) | ((p >> 16) & 0xFFu) | ((p & 0xFFu) << 16);
      std::memcpy(out + 4 * x, &swapped, 4);
    }
    return;
  }
  const bool straight = format == PixelFormat::rgba;
  const bool bgr = format == PixelFormat::bgraPremultiplied;
  for (int x = 0; x < count; ++x, out += 4) {
    std::uint32_t p = load(in + 4 * x);
    std::uint32_t a = p >> 24;
    std::uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    if (straight && a != 0 && a != 255) {
      r = std::min<std::uint32_t>((r * 255 + a / 2) / a, 255);
      g = std::min<std::uint32_t>((g * 255 + a / 2) / a, 255);
      b = std::min<std::uint32_t>((b * 255 + a / 2) / a, 255);
    }
    out[0] = static_cast<std::uint8_t>(bgr ? b : r);
    out[1] = static_cast<std::uint8_t>(g);
    out[2] = static_cast<std::uint8_t>(bgr ? r : b);
    out[3] = static_cast<std::uint8_t>(a);
  }
}

}  // namespace

void copyPixels(const std::uint8_t* source, std::size_t sourceStride, std::uint8_t* target,
                std::size_t targetStride, const PixelRect& rect, PixelFormat format) {
  if (rect.isEmpty()) return;
  const std::size_t left = static_cast<std::size_t>(rect.x) * 4;
  for (int y = rect.y; y < rect.maxY(); ++y) {
    copyRow(source + static_cast<std::size_t>(y) * sourceStride + left,
            target + static_cast<std::size_t>(y) * targetStride + left, rect.width, format);
  }
}

}  // namespace tilo::platform
