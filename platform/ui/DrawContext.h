// What a view's drawing hook receives: the cairo context (user space in points, already
// translated to the view's bounds origin), the pixel scale and the appearance to resolve
// adaptive colours with.
//
//   void Badge::drawRect(const DrawContext& context, const CGRect& rect) const {
//     RGBA fill = context.resolve(UIColor::systemRedColor());
//     cairo_set_source_rgba(context.cairo(), fill.red, fill.green, fill.blue, fill.alpha);
//     cairo_arc(context.cairo(), rect.midX(), rect.midY(), 4, 0, 2 * M_PI);
//     cairo_fill(context.cairo());
//   }
#pragma once

#include <cairo.h>

#include <optional>

#include "platform/ui/CGGeometry.h"
#include "platform/ui/UIColor.h"

namespace tilo::platform {

class DrawContext {
 public:
  DrawContext(cairo_t* cr, double scale, UIUserInterfaceStyle appearance)
      : cr_(cr), scale_(scale), appearance_(appearance) {}

  cairo_t* cairo() const { return cr_; }
  double scale() const { return scale_; }
  UIUserInterfaceStyle appearance() const { return appearance_; }
  RGBA resolve(const UIColor& color) const { return color.resolved(appearance_); }

 private:
  cairo_t* cr_;
  double scale_;
  UIUserInterfaceStyle appearance_;
};

// Adds `rect` with corners of `radius` (at most half its shorter side; none at 0) to the
// current path.
void roundedRect(cairo_t* cr, const CGRect& rect, double radius);

// Where `rect` lands in device pixels under the current transform: the transform, the
// rect's device origin and the whole pixels around it. Nothing when the transform rotates,
// flips or skews, or the rect lies beyond any surface: drawing kept as pixels for later
// frames (a cached layer, a shrunk picture) is only reused under a plain scale and shift.
struct DeviceBox {
  cairo_matrix_t matrix;
  double x0, y0;     // the rect's top left corner
  double left, top;  // rounded down to whole pixels
  int width, height;
};
std::optional<DeviceBox> deviceBoxOf(cairo_t* cr, const CGRect& rect);

}  // namespace tilo::platform
