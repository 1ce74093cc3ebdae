#include "platform/ui/DrawContext.h"

#include <algorithm>
#include <cmath>

namespace tilo::platform {

void roundedRect(cairo_t* cr, const CGRect& rect, double radius) {
  radius = std::min({radius, rect.width() / 2, rect.height() / 2});
  if (radius <= 0) {
    cairo_rectangle(cr, rect.x(), rect.y(), rect.width(), rect.height());
    return;
  }
  double x0 = rect.minX(), y0 = rect.minY(), x1 = rect.maxX(), y1 = rect.maxY();
  cairo_new_sub_path(cr);
  cairo_arc(cr, x1 - radius, y0 + radius, radius, -M_PI / 2, 0);
  cairo_arc(cr, x1 - radius, y1 - radius, radius, 0, M_PI / 2);
  cairo_arc(cr, x0 + radius, y1 - radius, radius, M_PI / 2, M_PI);
  cairo_arc(cr, x0 + radius, y0 + radius, radius, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

}  // namespace tilo::platform
