#include "platform/ui/PixelFormat.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace tilo::platform {
namespace {

constexpr bool kLittleEndian = std::endian::native == std::endian::little;

// Straight alpha from premultiplied: (c × 255 + a / 2) / a, as a multiply by the
// rounded-up reciprocal 2^32 / a (exact: the numerator stays below 2^32 / 255). Made at
// compile time, so that loading the library runs nothing.
constexpr std::array<std::uint64_t, 256> kReciprocals = [] {
  std::array<std::uint64_t, 256> table{};
  for (std::uint64_t a = 1; a < 256; ++a) table[a] = (std::uint64_t{1} << 32) / a + 1;
  return table;
}();

std::uint32_t unpremultiply(std::uint32_t c, std::uint32_t a, std::uint64_t reciprocal) {
  return std::min<std::uint32_t>(
      static_cast<std::uint32_t>((std::uint64_t{c * 255 + a / 2} * reciprocal) >> 32), 255);
}

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
      const std::uint64_t reciprocal = kReciprocals[a];
      r = unpremultiply(r, a, reciprocal);
      g = unpremultiply(g, a, reciprocal);
      b = unpremultiply(b, a, reciprocal);
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
