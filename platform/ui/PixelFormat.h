// The byte layouts a render can be copied into, and the copy out of cairo's pixels.
//
//   copyPixels(surfaceData, surfaceStride, texture, pitch, damage,
//              PixelFormat::bgraPremultiplied);   // on little-endian: row memcpy
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/ui/PixelRect.h"

namespace tilo::platform {

// Four bytes a pixel, in memory order.
enum class PixelFormat {
  rgba,               // R, G, B, A; straight alpha (what PNG files hold)
  rgbaPremultiplied,  // R, G, B, A; colours already multiplied by alpha
  bgraPremultiplied,  // B, G, R, A; premultiplied: cairo's ARGB32 on little-endian
};

// Copies `rect` of premultiplied ARGB32 words (cairo's image layout, rows `sourceStride`
// bytes apart) to the same place of `target` (rows `targetStride` bytes apart) in
// `format`. The rectangle must lie inside both. `target` may be `source` (with the same
// stride): the pixels are then converted in place. The widest vector instructions the
// processor has are used; `wideVectors` = false keeps to those every x86-64 has (tests).
void copyPixels(const std::uint8_t* source, std::size_t sourceStride, std::uint8_t* target,
                std::size_t targetStride, const PixelRect& rect, PixelFormat format,
                bool wideVectors = true);

}  // namespace tilo::platform
