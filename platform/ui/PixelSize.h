// How many pixels a view covers when drawn: what the renderer allocates and what a display
// list's digest is keyed on, so that both agree on one rounding.
//
//   int width = 0, height = 0;
//   if (!viewPixelSize(view, 0, width, height)) refuse();  // 0: the window's scale
#pragma once

namespace tilo::platform {

class UIView;

// The largest render, in pixels per side: a bigger view is refused, never cropped or
// scaled down, so that a hostile size cannot ask for gigabytes.
inline constexpr int kMaxPixelDimension = 16384;

// Pixels covering `points` at `scale`: points × scale rounded up (less 1e-6, so that
// 100.0000001 stays 100); infinite or NaN when the product is.
double pixelsCovering(double points, double scale);
// `scale` when it is positive and finite, else the view's window's scale, else 1.
double drawingScale(const UIView& view, double scale);
// Pixel size of `view` drawn at `scale` (see drawingScale). False, with 0 × 0, when a
// side is beyond kMaxPixelDimension or not finite.
bool viewPixelSize(const UIView& view, double scale, int& width, int& height);

}  // namespace tilo::platform
