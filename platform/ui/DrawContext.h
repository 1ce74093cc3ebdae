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

}  // namespace tilo::platform
