#include "platform/ui/PixelFormat.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace tilo::platform {
namespace {

constexpr bool kLittleEndian = std::endian::native == std::endian::little;

// Straight alpha from premultiplied, (c × 255 + a / 2) / a, looked up: 256 bytes per
// alpha, made on the first straight copy (not at load time). A frame's translucent pixels
// mostly share a few alphas, whose rows stay in the cache.
const std::uint8_t* unpremultiplyTable() {
  static const std::array<std::uint8_t, 256 * 256> table = [] {
    std::array<std::uint8_t, 256 * 256> made{};
    for (std::uint32_t a = 0; a < 256; ++a) {
      for (std::uint32_t c = 0; c < 256; ++c) {
        made[a * 256 + c] = static_cast<std::uint8_t>(
            a == 0 ? c : std::min<std::uint32_t>((c * 255 + a / 2) / a, 255));
      }
    }
    return made;
  }();
  return table.data();
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
  if (format == PixelFormat::rgba && kLittleEndian) {
    // Swapped as above; translucent colours divided by alpha through the table.
    const std::uint8_t* table = unpremultiplyTable();
    for (int x = 0; x < count; ++x) {
      const std::uint32_t p = load(in + 4 * x);
      const std::uint32_t a = p >> 24;
      std::uint32_t out32 = (p & 0xFF00FF00u) | ((p >> 16) & 0xFFu) | ((p & 0xFFu) << 16);
      if (a - 1 < 254) {  // neither 0 nor 255
        const std::uint8_t* row = table + a * 256;
        out32 = row[(p >> 16) & 0xFF] | std::uint32_t{row[(p >> 8) & 0xFF]} << 8 |
                std::uint32_t{row[p & 0xFF]} << 16 | a << 24;
      }
      std::memcpy(out + 4 * x, &out32, 4);
    }
    return;
  }
  const bool straight = format == PixelFormat::rgba;
  const bool bgr = format == PixelFormat::bgraPremultiplied;
  const std::uint8_t* table = straight ? unpremultiplyTable() : nullptr;
  for (int x = 0; x < count; ++x, out += 4) {
    std::uint32_t p = load(in + 4 * x);
    std::uint32_t a = p >> 24;
    std::uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    if (straight && a != 0 && a != 255) {
      const std::uint8_t* row = table + a * 256;
      r = row[r];
      g = row[g];
      b = row[b];
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
