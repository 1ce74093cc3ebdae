#include "platform/ui/PixelSize.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/UIWindow.h"

namespace tilo::platform {

double pixelsCovering(double points, double scale) {
  return std::ceil(points * scale - 1e-6);
}

double drawingScale(const UIView& view, double scale) {
  if (scale > 0 && std::isfinite(scale)) return scale;
  if (const UIWindow* window = view.windowPointer()) return window->scale();
  return 1;
}

bool viewPixelSize(const UIView& view, double scale, int& width, int& height) {
  scale = drawingScale(view, scale);
  const CGSize size = view.bounds().size;
  const double w = std::max(pixelsCovering(size.width, scale), 0.0);
  const double h = std::max(pixelsCovering(size.height, scale), 0.0);
  if (!(w <= kMaxPixelDimension) || !(h <= kMaxPixelDimension)) {
    width = height = 0;
    return false;
  }
  width = static_cast<int>(w);
  height = static_cast<int>(h);
  return true;
}

}  // namespace tilo::platform
