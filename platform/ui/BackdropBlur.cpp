#include "platform/ui/BackdropBlur.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "platform/ui/DrawContext.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define TILO_BLUR_AVX2 1
#endif

namespace tilo::platform {
namespace {

// Two premultiplied ARGB words mixed with weight w / 256 of the second, each channel
// rounded: red and blue, then alpha and green, share a word (at most 65,408 per lane, so
// no carry crosses into the next).
std::uint32_t mixPixels(std::uint32_t a, std::uint32_t b, std::uint32_t w) {
  const std::uint32_t keep = 256 - w;
  const std::uint32_t blueRed =
      (((a & 0x00FF00FFu) * keep + (b & 0x00FF00FFu) * w + 0x00800080u) >> 8) & 0x00FF00FFu;
  const std::uint32_t greenAlpha =
      (((a >> 8) & 0x00FF00FFu) * keep + ((b >> 8) & 0x00FF00FFu) * w + 0x00800080u) & 0xFF00FF00u;
  return blueRed | greenAlpha;
}

#if defined(__SSE2__)
// Sixteen bytes: (a × keep + b × take + 128) / 256 per byte, the weights given per 16-bit
// lane for the low and the high eight bytes.
__m128i mix16(__m128i a, __m128i b, __m128i keepLow, __m128i takeLow, __m128i keepHigh,
              __m128i takeHigh) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i half = _mm_set1_epi16(128);
  auto mix8 = [&](__m128i x, __m128i y, __m128i keep, __m128i take) {
    return _mm_srli_epi16(
        _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(x, keep), _mm_mullo_epi16(y, take)), half), 8);
  };
  return _mm_packus_epi16(
      mix8(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero), keepLow, takeLow),
      mix8(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero), keepHigh, takeHigh));
}
#endif

// out[i] = (p[i] × (256 − w) + q[i] × w + 128) / 256, sixteen bytes at a time where the
// processor has SSE2 (every x86-64 does). Stored through the cache: what comes next (the
// card blended over it, the copy out) reads the frame back at once, and a frame at scale 3
// (12 MB) stays in a last-level cache of today's size; streamed past it, all of it would
// come back from memory.
#if defined(TILO_BLUR_AVX2)
// mixRows's inner loop, 32 bytes at a time on processors with AVX2 (picked at run time: the
// build targets plain x86-64); `out + i` on 32 bytes. Returns where it stopped.
__attribute__((target("avx2"))) std::size_t mixRowsWide(std::uint8_t* __restrict out,
                                                        const std::uint8_t* __restrict p,
                                                        const std::uint8_t* __restrict q,
                                                        std::size_t i, std::size_t count,
                                                        std::uint32_t w) {
  const __m256i keep = _mm256_set1_epi16(static_cast<short>(256 - w));
  const __m256i take = _mm256_set1_epi16(static_cast<short>(w));
  const __m256i half = _mm256_set1_epi16(128);
  const __m256i zero = _mm256_setzero_si256();
  for (; i + 32 <= count; i += 32) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + i));
    const __m256i low = _mm256_srli_epi16(
        _mm256_add_epi16(_mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(a, zero), keep),
                                          _mm256_mullo_epi16(_mm256_unpacklo_epi8(b, zero), take)),
                         half),
        8);
    const __m256i high = _mm256_srli_epi16(
        _mm256_add_epi16(_mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(a, zero), keep),
                                          _mm256_mullo_epi16(_mm256_unpackhi_epi8(b, zero), take)),
                         half),
        8);
    _mm256_store_si256(reinterpret_cast<__m256i*>(out + i), _mm256_packus_epi16(low, high));
  }
  return i;
}

bool hasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}
#endif

void mixRows(std::uint8_t* __restrict out, const std::uint8_t* __restrict p,
             const std::uint8_t* __restrict q, std::size_t count, std::uint32_t w) {
  std::size_t i = 0;
  auto one = [&] {
    out[i] = static_cast<std::uint8_t>((p[i] * (256 - w) + q[i] * w + 128) >> 8);
    ++i;
  };
#if defined(__SSE2__)
#if defined(TILO_BLUR_AVX2)
  if (hasAvx2()) {
    while (i < count && reinterpret_cast<std::uintptr_t>(out + i) % 32 != 0) one();
    i = mixRowsWide(out, p, q, i, count, w);
  }
#endif
  while (i < count && reinterpret_cast<std::uintptr_t>(out + i) % 16 != 0) one();
  const __m128i keep = _mm_set1_epi16(static_cast<short>(256 - w));
  const __m128i take = _mm_set1_epi16(static_cast<short>(w));
  for (; i + 16 <= count; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + i));
    _mm_store_si128(reinterpret_cast<__m128i*>(out + i), mix16(a, b, keep, take, keep, take));
  }
#endif
  while (i < count) one();
}

// Rounded n / d for the small sums a blur divides (n < 2^24, d < 2^16), as one multiply:
// floor(n × ceil(2^32 / d) / 2^32) is floor(n / d) while n < 2^32 / d.
struct Divider {
  explicit Divider(std::uint32_t d) : half(d / 2), factor((std::uint64_t{1} << 32) / d + 1) {}
  std::uint32_t operator()(std::uint32_t n) const {
    return static_cast<std::uint32_t>((std::uint64_t{n + half} * factor) >> 32);
  }
  std::uint32_t half;
  std::uint64_t factor;
};

// Three passes of a box blur approximate a Gaussian; rows or columns of premultiplied
// ARGB, edges clamped. Each output is the rounded mean of the window.
void boxBlur(std::vector<std::uint32_t>& pixels, int width, int height, int radius) {
  if (radius <= 0 || width <= 0 || height <= 0) return;
  const int window = 2 * radius + 1;
  // Each line copied out with its edge pixels repeated `radius` times on either side.
  std::vector<std::uint32_t> line(std::size_t(std::max(width, height)) + 2 * radius);
  auto load = [&](const std::uint32_t* first, int length, std::size_t step) {
    std::fill_n(line.begin(), radius, first[0]);
    for (int k = 0; k < length; ++k) line[radius + k] = first[k * step];
    std::fill_n(line.begin() + radius + length, radius, first[(length - 1) * step]);
  };
#if defined(__SSE2__)
  if (window <= 31) {
    // The four channels of a pixel side by side in 32-bit lanes, divided in single
    // precision: with an odd window no mean lies on a half, and below 31 pixels the
    // product's error stays far from one, so rounding gives the exact rounded mean.
    const __m128i zero = _mm_setzero_si128();
    const __m128 reciprocal = _mm_set1_ps(1.0f / static_cast<float>(window));
    auto lanes = [&](std::uint32_t p) {
      return _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(p)), zero),
                                zero);
    };
    auto pass = [&](int count, int length, std::size_t step, std::size_t next) {
      for (int i = 0; i < count; ++i) {
        std::uint32_t* first = &pixels[std::size_t(i) * next];
        load(first, length, step);
        __m128i sum = zero;
        for (int k = 0; k < window - 1; ++k) sum = _mm_add_epi32(sum, lanes(line[k]));
        for (int k = 0; k < length; ++k) {
          sum = _mm_add_epi32(sum, lanes(line[k + window - 1]));
          const __m128i mean = _mm_cvtps_epi32(_mm_mul_ps(_mm_cvtepi32_ps(sum), reciprocal));
          const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(mean, zero), zero);
          first[k * step] = static_cast<std::uint32_t>(_mm_cvtsi128_si32(packed));
          sum = _mm_sub_epi32(sum, lanes(line[k]));
        }
      }
    };
    for (int round = 0; round < 3; ++round) {
      pass(height, width, 1, std::size_t(width));
      pass(width, height, std::size_t(width), 1);
    }
    return;
  }
#endif
  const Divider divide(static_cast<std::uint32_t>(window));
  auto pass = [&](int count, int length, std::size_t step, std::size_t next) {
    for (int i = 0; i < count; ++i) {
      std::uint32_t* first = &pixels[std::size_t(i) * next];
      load(first, length, step);
      std::uint32_t sum[4] = {0, 0, 0, 0};
      auto add = [&](std::uint32_t p, int sign) {
        for (int c = 0; c < 4; ++c) {
          sum[c] += static_cast<std::uint32_t>(sign * static_cast<int>((p >> (8 * c)) & 0xFF));
        }
      };
      for (int k = 0; k < window - 1; ++k) add(line[k], 1);
      for (int k = 0; k < length; ++k) {
        add(line[k + window - 1], 1);
        std::uint32_t out = 0;
        for (int c = 0; c < 4; ++c) out |= divide(sum[c]) << (8 * c);
        first[k * step] = out;
        add(line[k], -1);
      }
    }
  };
  for (int round = 0; round < 3; ++round) {
    pass(height, width, 1, std::size_t(width));
    pass(width, height, std::size_t(width), 1);
  }
}

// Where each target pixel of a run samples the small image, as cairo's bilinear filter
// with a padded edge would: the two texels and the weight of the second.
struct Taps {
  std::vector<int> first, second;
  std::vector<std::uint32_t> weight;
};

Taps taps(int begin, int end, int origin, int factor, int count) {
  Taps out;
  for (int i = begin; i < end; ++i) {
    double t = (i + 0.5 - origin) / factor - 0.5;
    double base = std::floor(t);
    auto w = static_cast<std::uint32_t>(std::lround((t - base) * 256));
    int a = static_cast<int>(base);
    out.first.push_back(std::clamp(a, 0, count - 1));
    out.second.push_back(std::clamp(a + 1, 0, count - 1));
    out.weight.push_back(w);
  }
  return out;
}

// One row of the small image scaled across the columns of a run, as bytes in the target's
// order: the two texels of each pixel gathered, then mixed four pixels at a time with
// their own weights (`lanes`: each pixel's weight four times, as 16-bit lanes).
void widenRow(const std::uint32_t* row, const Taps& columns,
              const std::vector<std::uint16_t>& lanes, std::vector<std::uint32_t>& left,
              std::vector<std::uint32_t>& right, std::vector<std::uint8_t>& out) {
  const std::size_t width = columns.weight.size();
  out.resize(width * 4);
  left.resize(width);
  right.resize(width);
  for (std::size_t x = 0; x < width; ++x) {
    left[x] = row[columns.first[x]];
    right[x] = row[columns.second[x]];
  }
  std::size_t x = 0;
#if defined(__SSE2__)
  const __m128i full = _mm_set1_epi16(256);
  for (; x + 4 <= width; x += 4) {
    const __m128i takeLow = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&lanes[x * 4]));
    const __m128i takeHigh = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&lanes[x * 4 + 8]));
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&left[x]));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&right[x]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&out[x * 4]),
                     mix16(a, b, _mm_sub_epi16(full, takeLow), takeLow,
                           _mm_sub_epi16(full, takeHigh), takeHigh));
  }
#endif
  for (; x < width; ++x) {
    const std::uint32_t mixed = mixPixels(left[x], right[x], columns.weight[x]);
    std::memcpy(&out[x * 4], &mixed, 4);  // the target's word, in its byte order
  }
}

// Scales the small image (its texel (0, 0) covering target pixels from (left, top),
// `factor` to a side) up into the target's pixels of `area`, replacing them: each small
// row is widened once, then every target row mixes the two widened rows around it, a
// loop over contiguous bytes (mixRows).
void scaleInto(unsigned char* data, int stride, const int area[4],
               const std::vector<std::uint32_t>& small, int smallWidth, int smallHeight, int left,
               int top, int factor) {
  const int x0 = area[0], y0 = area[1], x1 = area[2], y1 = area[3];
  const Taps columns = taps(x0, x1, left, factor, smallWidth);
  const Taps rows = taps(y0, y1, top, factor, smallHeight);
  std::vector<std::uint16_t> lanes(columns.weight.size() * 4);
  for (std::size_t x = 0; x < columns.weight.size(); ++x) {
    std::fill_n(&lanes[x * 4], 4, static_cast<std::uint16_t>(columns.weight[x]));
  }
  std::vector<std::uint32_t> gatheredLeft, gatheredRight;
  auto widen = [&](int smallRow, std::vector<std::uint8_t>& out) {
    widenRow(&small[std::size_t(smallRow) * smallWidth], columns, lanes, gatheredLeft,
             gatheredRight, out);
  };
  std::vector<std::uint8_t> upper, lower;
  int upperRow = -1, lowerRow = -1;
  const std::size_t bytes = std::size_t(x1 - x0) * 4;
  for (int y = y0; y < y1; ++y) {
    const std::size_t r = std::size_t(y - y0);
    const int a = rows.first[r], b = rows.second[r];
    if (a != upperRow) {
      if (a == lowerRow) {
        std::swap(upper, lower);
        lowerRow = -1;
      } else {
        widen(a, upper);
      }
      upperRow = a;
    }
    if (b != lowerRow) {
      widen(b, lower);
      lowerRow = b;
    }
    std::uint8_t* out = data + std::size_t(y) * stride + std::size_t(x0) * 4;
    mixRows(out, upper.data(), lower.data(), bytes, rows.weight[r]);
  }
}

}  // namespace

std::vector<BackdropBlur::Layer>::iterator BackdropBlur::makeLayer(
    const Key& key, int smallWidth, int smallHeight, const std::uint32_t tintChannels[4],
    const Backdrop& backdrop, std::uint64_t backdropDigest) {
  const int factor = key.factor;
  // The backdrop drawn small, each pixel covering a block of factor × factor.
  std::vector<std::uint32_t> samples(std::size_t(smallWidth) * smallHeight);
  if (backdrop) {
    cairo_surface_t* small = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(samples.data()), CAIRO_FORMAT_ARGB32, smallWidth,
        smallHeight, smallWidth * 4);
    cairo_t* smallContext = cairo_create(small);
    cairo_scale(smallContext, 1.0 / factor, 1.0 / factor);
    cairo_translate(smallContext, -key.left, -key.top);
    backdrop(smallContext);
    cairo_destroy(smallContext);
    cairo_surface_flush(small);
    cairo_surface_destroy(small);
  }

  // The same samples under the same key blur to the same layer: reuse it.
  auto found = std::find_if(layers_.begin(), layers_.end(), [&](const Layer& layer) {
    return !layer.used && layer.key == key && layer.samples == samples;
  });
  if (found == layers_.end()) {
    found = std::find_if(layers_.begin(), layers_.end(), [&](const Layer& layer) {
      return !layer.used && layer.key == key;  // the same place, new content
    });
    if (found == layers_.end()) found = layers_.insert(layers_.end(), Layer{});
    found->key = key;
    found->blurred = samples;
    boxBlur(found->blurred, smallWidth, smallHeight, key.boxRadius);
    // The tint goes over the small image: blending with a constant commutes with the
    // bilinear scaling up, and saves a pass over every full-size pixel. Each channel's
    // result looked up by what lies below.
    const std::uint32_t tintAlpha = tintChannels[3];
    std::uint8_t tinted[4][256];
    for (int c = 0; c < 4; ++c) {
      for (std::uint32_t below = 0; below < 256; ++below) {
        const std::uint32_t value = tintChannels[c] + (below * (255 - tintAlpha) + 127) / 255;
        tinted[c][below] = static_cast<std::uint8_t>(std::min<std::uint32_t>(value, 255));
      }
    }
    for (auto& p : found->blurred) {
      p = std::uint32_t{tinted[0][p & 0xFF]} | std::uint32_t{tinted[1][(p >> 8) & 0xFF]} << 8 |
          std::uint32_t{tinted[2][(p >> 16) & 0xFF]} << 16 |
          std::uint32_t{tinted[3][p >> 24]} << 24;
    }
    found->samples = std::move(samples);
    ++layersMade_;
  }
  found->digest = backdropDigest;
  return found;
}

void BackdropBlur::beginFrame(const PixelRect& canvas, const PixelRect& redrawn) {
  canvas_ = canvas;
  redrawn_ = redrawn;
  for (auto& layer : layers_) layer.used = false;
}

void BackdropBlur::endFrame() {
  // A layer the frame did not repaint may still be on screen; one it repainted without
  // drawing is gone (its view moved, left or was hidden, and its old place is damage).
  std::erase_if(layers_, [this](const Layer& layer) {
    const Key& k = layer.key;
    return !layer.used && redrawn_.intersects({k.left, k.top, k.right - k.left, k.bottom - k.top});
  });
}

bool BackdropBlur::draw(cairo_t* cr, const CGRect& box, double cornerRadius, double sigmaPoints,
                        const RGBA& tint, const Backdrop& backdrop, std::uint64_t backdropDigest) {
  cairo_surface_t* target = cairo_get_group_target(cr);
  if (cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE) return false;
  cairo_surface_flush(target);
  const int surfaceWidth = cairo_image_surface_get_width(target);
  const int surfaceHeight = cairo_image_surface_get_height(target);
  double offsetX = 0, offsetY = 0;
  cairo_surface_get_device_offset(target, &offsetX, &offsetY);

  double x0 = box.minX(), y0 = box.minY(), x1 = box.maxX(), y1 = box.maxY();
  cairo_user_to_device(cr, &x0, &y0);
  cairo_user_to_device(cr, &x1, &y1);
  const double deviceScale = (x1 - x0) / box.width();
  const double sigma = sigmaPoints * deviceScale;  // in pixels
  if (!(std::isfinite(sigma) && std::isfinite(x0) && std::isfinite(y0) && std::isfinite(x1) &&
        std::isfinite(y1) && std::abs(x0) < 1e8 && std::abs(y0) < 1e8 && std::abs(x1) < 1e8 &&
        std::abs(y1) < 1e8 && sigma < 1e6)) {
    return false;
  }
  // A group's surface covers part of the device space, from -offset; keys are in device
  // space so that a partial frame's group finds the layer a full frame made.
  const int shiftX = static_cast<int>(std::lround(offsetX));
  const int shiftY = static_cast<int>(std::lround(offsetY));
  Key key;
  // Blur at reduced resolution: about three pixels of sigma in the small image.
  key.factor = std::max(1, static_cast<int>(std::floor(sigma / 3)));
  const int margin = static_cast<int>(std::ceil(2.5 * sigma));
  key.left = std::max(canvas_.x, static_cast<int>(std::floor(x0)) - margin);
  key.top = std::max(canvas_.y, static_cast<int>(std::floor(y0)) - margin);
  key.right = std::min(canvas_.maxX(), static_cast<int>(std::ceil(x1)) + margin);
  key.bottom = std::min(canvas_.maxY(), static_cast<int>(std::ceil(y1)) + margin);
  if (key.right <= key.left || key.bottom <= key.top) return false;
  // Whole blocks only: a block reaching past the canvas would be drawn part transparent
  // and lighten the edge. The box's last pixels then scale from the last whole block.
  const int factor = key.factor;
  if (key.right - key.left >= factor) key.right -= (key.right - key.left) % factor;
  if (key.bottom - key.top >= factor) key.bottom -= (key.bottom - key.top) % factor;
  const int smallWidth = (key.right - key.left + factor - 1) / factor;
  const int smallHeight = (key.bottom - key.top + factor - 1) / factor;
  // Three box passes of width w have the variance of a Gaussian with sigma² = (w² − 1)/4.
  const double smallSigma = sigma / factor;
  key.boxRadius = std::max(
      1, static_cast<int>(std::lround((std::sqrt(4 * smallSigma * smallSigma + 1) - 1) / 2)));
  const std::uint32_t tintChannels[4] = {
      static_cast<std::uint32_t>(std::lround(tint.blue * tint.alpha * 255)),
      static_cast<std::uint32_t>(std::lround(tint.green * tint.alpha * 255)),
      static_cast<std::uint32_t>(std::lround(tint.red * tint.alpha * 255)),
      static_cast<std::uint32_t>(std::lround(tint.alpha * 255))};
  key.tint = tintChannels[0] | tintChannels[1] << 8 | tintChannels[2] << 16 | tintChannels[3] << 24;

  // Outside what this frame repaints the target holds the last frame, not a backdrop:
  // a layer not repainted is kept as it is, unsampled.
  const PixelRect painted{static_cast<int>(std::floor(x0)), static_cast<int>(std::floor(y0)),
                          static_cast<int>(std::ceil(x1) - std::floor(x0)),
                          static_cast<int>(std::ceil(y1) - std::floor(y0))};
  if (!redrawn_.intersects(painted)) {
    for (auto& layer : layers_) {
      if (!layer.used && layer.key == key) {
        layer.used = true;
        break;
      }
    }
    return false;
  }

  // The same backdrop as a layer was made from: nothing to draw or blur.
  auto found = std::find_if(layers_.begin(), layers_.end(), [&](const Layer& layer) {
    return !layer.used && layer.key == key && backdropDigest != 0 && layer.digest == backdropDigest;
  });
  if (found == layers_.end())
    found = makeLayer(key, smallWidth, smallHeight, tintChannels, backdrop, backdropDigest);
  found->used = true;
  const std::vector<std::uint32_t>& small = found->blurred;

  // Straight into the target: a square box on whole pixels, clipped by rectangles only.
  auto whole = [](double v) { return std::abs(v - std::round(v)) < 1e-6; };
  if (cornerRadius <= 0 && whole(x0 + offsetX) && whole(y0 + offsetY) && whole(x1 + offsetX) &&
      whole(y1 + offsetY)) {
    cairo_save(cr);
    cairo_identity_matrix(cr);
    cairo_rectangle_list_t* clips = cairo_copy_clip_rectangle_list(cr);
    cairo_restore(cr);
    if (clips->status == CAIRO_STATUS_SUCCESS) {
      const int bx0 = static_cast<int>(std::lround(x0 + offsetX));
      const int by0 = static_cast<int>(std::lround(y0 + offsetY));
      const int bx1 = static_cast<int>(std::lround(x1 + offsetX));
      const int by1 = static_cast<int>(std::lround(y1 + offsetY));
      bool exact = true;
      for (int i = 0; i < clips->num_rectangles && exact; ++i) {
        const cairo_rectangle_t& c = clips->rectangles[i];
        if (!whole(c.x + offsetX) || !whole(c.y + offsetY) || !whole(c.width) || !whole(c.height)) {
          exact = false;
        }
      }
      if (exact) {
        for (int i = 0; i < clips->num_rectangles; ++i) {
          const cairo_rectangle_t& c = clips->rectangles[i];
          const int area[4] = {
              std::max({bx0, 0, static_cast<int>(std::lround(c.x + offsetX))}),
              std::max({by0, 0, static_cast<int>(std::lround(c.y + offsetY))}),
              std::min({bx1, surfaceWidth, static_cast<int>(std::lround(c.x + c.width + offsetX))}),
              std::min(
                  {by1, surfaceHeight, static_cast<int>(std::lround(c.y + c.height + offsetY))})};
          if (area[2] <= area[0] || area[3] <= area[1]) continue;
          scaleInto(cairo_image_surface_get_data(target), cairo_image_surface_get_stride(target),
                    area, small, smallWidth, smallHeight, key.left + shiftX, key.top + shiftY,
                    factor);
          cairo_surface_mark_dirty_rectangle(target, area[0], area[1], area[2] - area[0],
                                             area[3] - area[1]);
        }
        cairo_rectangle_list_destroy(clips);
        return true;
      }
    }
    cairo_rectangle_list_destroy(clips);
  }

  cairo_surface_t* blurred = cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(const_cast<std::uint32_t*>(small.data())),
      CAIRO_FORMAT_ARGB32, smallWidth, smallHeight, smallWidth * 4);
  cairo_save(cr);
  roundedRect(cr, box, cornerRadius);
  cairo_clip(cr);
  cairo_identity_matrix(cr);
  cairo_pattern_t* pattern = cairo_pattern_create_for_surface(blurred);
  cairo_matrix_t matrix;
  cairo_matrix_init_scale(&matrix, 1.0 / factor, 1.0 / factor);
  cairo_matrix_translate(&matrix, -key.left, -key.top);
  cairo_pattern_set_matrix(pattern, &matrix);
  cairo_pattern_set_filter(pattern, CAIRO_FILTER_BILINEAR);
  cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);  // the blur replaces what it blurs
  cairo_set_source(cr, pattern);
  cairo_paint(cr);
  cairo_pattern_destroy(pattern);
  cairo_restore(cr);
  cairo_surface_destroy(blurred);
  return true;
}

}  // namespace tilo::platform
