#include "platform/ui/PixelFormat.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define TILO_PIXEL_AVX2 1
#endif

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

// Premultiplied 0xAARRGGBB words to straight R, G, B, A bytes. Four pixels at a time
// where the processor has SSE2: a block of opaque or clear pixels only swaps red and blue
// (no division); any other block divides in single precision, by a reciprocal nudged up
// by 2^-20 so that an exact quotient never lands just below its integer, which gives the
// table's bytes for every alpha and colour. The rest, one by one through the table.
void straightRow(const std::uint8_t* in, std::uint8_t* out, int count, int x = 0) {
#if defined(__SSE2__)
  const __m128i lowByte = _mm_set1_epi32(0xFF);
  const __m128i alphaGreen = _mm_set1_epi32(static_cast<int>(0xFF00FF00u));
  const __m128i alphaBits = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  const __m128 nudgedOne = _mm_set1_ps(1.0f + 1.0f / (1 << 20));
  const __m128 maxChannel = _mm_set1_ps(255.0f);
  for (; x + 4 <= count; x += 4) {
    const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 4 * x));
    const __m128i swapped = _mm_or_si128(
        _mm_and_si128(p, alphaGreen), _mm_or_si128(_mm_and_si128(_mm_srli_epi32(p, 16), lowByte),
                                                   _mm_slli_epi32(_mm_and_si128(p, lowByte), 16)));
    const __m128i alpha = _mm_srli_epi32(p, 24);
    const __m128i keep = _mm_or_si128(_mm_cmpeq_epi32(_mm_and_si128(p, alphaBits), alphaBits),
                                      _mm_cmpeq_epi32(alpha, _mm_setzero_si128()));
    if (_mm_movemask_ps(_mm_castsi128_ps(keep)) == 0xF) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x), swapped);
      continue;
    }
    // Lanes with alpha 0 divide by zero here; `keep` takes the swapped word for them.
    const __m128 reciprocal = _mm_div_ps(nudgedOne, _mm_cvtepi32_ps(alpha));
    const __m128 halfAlpha = _mm_cvtepi32_ps(_mm_srli_epi32(alpha, 1));
    auto divided = [&](int shift) {
      const __m128 c = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(p, shift), lowByte));
      const __m128 quotient =
          _mm_mul_ps(_mm_add_ps(_mm_mul_ps(c, maxChannel), halfAlpha), reciprocal);
      return _mm_cvttps_epi32(_mm_min_ps(quotient, maxChannel));
    };
    const __m128i straight =
        _mm_or_si128(_mm_or_si128(divided(16), _mm_slli_epi32(divided(8), 8)),
                     _mm_or_si128(_mm_slli_epi32(divided(0), 16), _mm_and_si128(p, alphaBits)));
    const __m128i result =
        _mm_or_si128(_mm_and_si128(keep, swapped), _mm_andnot_si128(keep, straight));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x), result);
  }
#endif
  const std::uint8_t* table = unpremultiplyTable();
  for (; x < count; ++x) {
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
}

#if defined(TILO_PIXEL_AVX2)
// As straightRow, eight pixels at a time, on processors with AVX2 (picked at run time: the
// build targets plain x86-64).
__attribute__((target("avx2"))) __m256i straightChannel(__m256i p, int shift, __m256 halfAlpha,
                                                        __m256 reciprocal) {
  const __m256 c = _mm256_cvtepi32_ps(
      _mm256_and_si256(_mm256_srl_epi32(p, _mm_cvtsi32_si128(shift)), _mm256_set1_epi32(0xFF)));
  const __m256 quotient =
      _mm256_mul_ps(_mm256_add_ps(_mm256_mul_ps(c, _mm256_set1_ps(255.0f)), halfAlpha), reciprocal);
  return _mm256_cvttps_epi32(_mm256_min_ps(quotient, _mm256_set1_ps(255.0f)));
}

__attribute__((target("avx2"))) void straightRowWide(const std::uint8_t* in, std::uint8_t* out,
                                                     int count) {
  const __m256i redBlue = _mm256_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15, 2,
                                           1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15);
  const __m256i alphaBits = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
  const __m256 nudgedOne = _mm256_set1_ps(1.0f + 1.0f / (1 << 20));
  int x = 0;
  for (; x + 8 <= count; x += 8) {
    const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 4 * x));
    const __m256i swapped = _mm256_shuffle_epi8(p, redBlue);
    const __m256i alpha = _mm256_srli_epi32(p, 24);
    const __m256i keep =
        _mm256_or_si256(_mm256_cmpeq_epi32(_mm256_and_si256(p, alphaBits), alphaBits),
                        _mm256_cmpeq_epi32(alpha, _mm256_setzero_si256()));
    if (_mm256_movemask_ps(_mm256_castsi256_ps(keep)) == 0xFF) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * x), swapped);
      continue;
    }
    const __m256 reciprocal = _mm256_div_ps(nudgedOne, _mm256_cvtepi32_ps(alpha));
    const __m256 halfAlpha = _mm256_cvtepi32_ps(_mm256_srli_epi32(alpha, 1));
    const __m256i straight = _mm256_or_si256(
        _mm256_or_si256(straightChannel(p, 16, halfAlpha, reciprocal),
                        _mm256_slli_epi32(straightChannel(p, 8, halfAlpha, reciprocal), 8)),
        _mm256_or_si256(_mm256_slli_epi32(straightChannel(p, 0, halfAlpha, reciprocal), 16),
                        _mm256_and_si256(p, alphaBits)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * x),
                        _mm256_blendv_epi8(straight, swapped, keep));
  }
  straightRow(in, out, count, x);
}

bool hasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}
#endif

// One row of `count` pixels, the format's loop chosen once per row so that each inner
// loop has no branch on the format (and the swaps vectorize).
void copyRow(const std::uint8_t* in, std::uint8_t* out, int count, PixelFormat format,
             bool wideVectors) {
  if (format == PixelFormat::bgraPremultiplied && kLittleEndian) {
    if (out != in) std::memcpy(out, in, static_cast<std::size_t>(count) * 4);  // the same bytes
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
#if defined(TILO_PIXEL_AVX2)
    if (wideVectors && hasAvx2()) {
      straightRowWide(in, out, count);
      return;
    }
#endif
    straightRow(in, out, count);
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
                std::size_t targetStride, const PixelRect& rect, PixelFormat format,
                bool wideVectors) {
  if (rect.isEmpty()) return;
  const std::size_t left = static_cast<std::size_t>(rect.x) * 4;
  for (int y = rect.y; y < rect.maxY(); ++y) {
    copyRow(source + static_cast<std::size_t>(y) * sourceStride + left,
            target + static_cast<std::size_t>(y) * targetStride + left, rect.width, format,
            wideVectors);
  }
}

}  // namespace tilo::platform
