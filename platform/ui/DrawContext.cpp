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

std::optional<DeviceBox> deviceBoxOf(cairo_t* cr, const CGRect& rect) {
  DeviceBox box{};
  cairo_get_matrix(cr, &box.matrix);
  const cairo_matrix_t& m = box.matrix;
  if (m.xy != 0 || m.yx != 0 || !(m.xx > 0) || !(m.yy > 0)) return std::nullopt;
  double x0 = rect.minX(), y0 = rect.minY(), x1 = rect.maxX(), y1 = rect.maxY();
  cairo_user_to_device(cr, &x0, &y0);
  cairo_user_to_device(cr, &x1, &y1);
  if (!(std::abs(x0) < 1e8 && std::abs(y0) < 1e8 && std::abs(x1) < 1e8 && std::abs(y1) < 1e8)) {
    return std::nullopt;
  }
  box.x0 = x0;
  box.y0 = y0;
  box.left = std::floor(x0);
  box.top = std::floor(y0);
  box.width = static_cast<int>(std::ceil(x1) - box.left);
  box.height = static_cast<int>(std::ceil(y1) - box.top);
  return box;
}

}  // namespace tilo::platform
