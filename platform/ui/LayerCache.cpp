#include "platform/ui/LayerCache.h"

#include <cmath>

#include "platform/ui/DrawContext.h"

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
  const auto device = deviceBoxOf(cr, box);
  if (!device) return false;
  cairo_matrix_t matrix = device->matrix;
  const double x0 = device->x0, y0 = device->y0;
  const double left = device->left, top = device->top;
  const int width = device->width, height = device->height;
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
