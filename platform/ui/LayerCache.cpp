#include "platform/ui/LayerCache.h"

#include <cmath>

namespace tilo::platform {

void LayerCache::beginFrame(const PixelRect& redrawn) {
  redrawn_ = redrawn;
  for (auto& [serial, layer] : layers_) layer.used = false;
}

void LayerCache::endFrame() {
  // A layer the frame did not repaint may still be on screen; one it repainted without
  // painting is gone (its view moved, changed, left or was hidden).
  std::erase_if(layers_, [this](const auto& entry) {
    return !entry.second.used && redrawn_.intersects(entry.second.box);
  });
}

std::size_t LayerCache::layerCount() const {
  std::size_t count = 0;
  for (const auto& [serial, layer] : layers_) count += layer.pixels ? 1 : 0;
  return count;
}

bool LayerCache::paint(cairo_t* cr, std::uint64_t serial, std::uint64_t digest, const CGRect& box,
                       const std::function<void(cairo_t*)>& draw) {
  cairo_matrix_t matrix;
  cairo_get_matrix(cr, &matrix);
  if (matrix.xy != 0 || matrix.yx != 0 || !(matrix.xx > 0) || !(matrix.yy > 0)) return false;
  double x0 = box.minX(), y0 = box.minY(), x1 = box.maxX(), y1 = box.maxY();
  cairo_user_to_device(cr, &x0, &y0);
  cairo_user_to_device(cr, &x1, &y1);
  if (!(std::abs(x0) < 1e8 && std::abs(y0) < 1e8 && std::abs(x1) < 1e8 && std::abs(y1) < 1e8)) {
    return false;
  }
  const double left = std::floor(x0), top = std::floor(y0);
  const int width = static_cast<int>(std::ceil(x1) - left);
  const int height = static_cast<int>(std::ceil(y1) - top);
  const long long area = static_cast<long long>(width) * height;
  if (area < kMinPixels || area > kMaxPixels) return false;

  const Key key{digest, matrix.xx, matrix.yy, x0 - left, y0 - top, width, height};
  Layer& layer = layers_[serial];
  layer.used = true;
  layer.box = {static_cast<int>(left), static_cast<int>(top), width, height};
  if (!(layer.key == key)) {
    // New or changed: drawn directly this time, kept the next time it looks the same.
    layer.key = key;
    layer.pixels.reset();
    return false;
  }
  if (!layer.pixels) {
    cairo_surface_t* made = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(made) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(made);
      return false;
    }
    layer.pixels.reset(made, cairo_surface_destroy);
    cairo_t* into = cairo_create(made);
    matrix.x0 -= left;  // the same user space, moved by whole pixels
    matrix.y0 -= top;
    cairo_set_matrix(into, &matrix);
    draw(into);
    cairo_destroy(into);
    cairo_surface_flush(made);
    ++made_;
  }
  cairo_save(cr);
  cairo_identity_matrix(cr);
  cairo_set_source_surface(cr, layer.pixels.get(), left, top);
  cairo_paint(cr);
  cairo_restore(cr);
  return true;
}

}  // namespace tilo::platform
