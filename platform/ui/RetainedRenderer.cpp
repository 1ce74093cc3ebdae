#include "platform/ui/RetainedRenderer.h"

#include <cstring>

#include "platform/Environment.h"
#include "platform/ui/UIView.h"
#include "platform/ui/ViewRenderer.h"

namespace tilo::platform {

// A cairo image surface, with what copies need read once so that a render thread never
// calls into cairo.
struct RetainedRenderer::Surface {
  cairo_surface_t* surface = nullptr;
  std::uint8_t* data = nullptr;
  std::size_t stride = 0;
  int width = 0;
  int height = 0;

  static std::unique_ptr<Surface> make(int width, int height) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(surface);
      return nullptr;
    }
    auto made = std::make_unique<Surface>();
    made->surface = surface;
    made->data = cairo_image_surface_get_data(surface);
    made->stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface));
    made->width = width;
    made->height = height;
    return made;
  }
  ~Surface() {
    if (surface) cairo_surface_destroy(surface);
  }
};

RetainedRenderer::RetainedRenderer() : painter_(std::make_unique<ViewRenderer>()) {}
RetainedRenderer::~RetainedRenderer() = default;

PixelRect RetainedRenderer::publish(UIView& root, double scale) {
  root.layoutIfNeeded();
  const double uptime = Environment::current().clock().uptime();
  DisplayList& now = capture_;
  DisplayList::capture(root, scale, uptime, now);
  const PixelRect canvas = now.canvas();
  if (canvas.isEmpty()) return {};
  PixelRect damage;
  const bool resized = !back_ || back_->width != canvas.width || back_->height != canvas.height;
  if (resized) {
    // Both new; the old front stays readable until the swap.
    back_ = Surface::make(canvas.width, canvas.height);
    spare_ = Surface::make(canvas.width, canvas.height);
    if (!back_ || !spare_) {
      back_ = nullptr;
      spare_ = nullptr;
      list_ = {};
      return {};
    }
    damage = canvas;
  } else {
    damage = DisplayList::damage(list_, now);
  }
  std::swap(list_, capture_);  // both keep their room for the next frames
  if (damage.isEmpty()) return {};
  if (!resized && !damage.contains(lastDamage_)) {
    // Reading the front surface needs no lock: only this thread ever writes surfaces.
    const PixelRect& carry = lastDamage_;
    for (int y = carry.y; y < carry.maxY(); ++y) {
      std::memcpy(back_->data + static_cast<std::size_t>(y) * back_->stride + 4 * carry.x,
                  front_->data + static_cast<std::size_t>(y) * front_->stride + 4 * carry.x,
                  static_cast<std::size_t>(carry.width) * 4);
    }
    cairo_surface_mark_dirty_rectangle(back_->surface, carry.x, carry.y, carry.width, carry.height);
  }
  redraw(root, scale, uptime, damage);
  {
    std::lock_guard lock(mutex_);
    std::swap(front_, back_);
    pending_ = pending_.united(damage);
    ++frames_;
  }
  // After a resize the old front goes; the spare lacks the whole frame, which is what
  // the damage says.
  if (spare_) back_ = std::move(spare_);
  lastDamage_ = damage;
  return damage;
}

void RetainedRenderer::releaseCaches() {
  back_.reset();
  spare_.reset();
  list_ = {};
  capture_ = {};
  painter_ = std::make_unique<ViewRenderer>();  // and the blurred backdrops it kept
}

int RetainedRenderer::surfaceCount() const {
  std::lock_guard lock(mutex_);
  return (back_ ? 1 : 0) + (spare_ ? 1 : 0) + (front_ ? 1 : 0);
}

void RetainedRenderer::redraw(UIView& root, double scale, double uptime, const PixelRect& damage) {
  cairo_t* cr = cairo_create(back_->surface);
  cairo_rectangle(cr, damage.x, damage.y, damage.width, damage.height);
  cairo_clip(cr);
  cairo_scale(cr, scale, scale);
  painter_->drawTree(cr, root, scale, uptime, damage, true);
  cairo_destroy(cr);
  cairo_surface_flush(back_->surface);
}

RetainedRenderer::CopyResult RetainedRenderer::copyChanges(std::uint8_t* pixels, std::size_t stride,
                                                           PixelFormat format, PixelRect& damaged) {
  damaged = {};
  std::lock_guard lock(mutex_);
  if (frames_ == 0) return CopyResult::nothingPublished;
  if (stride < static_cast<std::size_t>(front_->width) * 4) return CopyResult::strideTooSmall;
  Target target{pixels, stride, format, front_->width, front_->height};
  damaged = target == tracked_ ? pending_ : PixelRect{0, 0, front_->width, front_->height};
  tracked_ = target;
  pending_ = {};
  copyPixels(front_->data, front_->stride, pixels, stride, damaged, format);
  return CopyResult::copied;
}

RetainedRenderer::CopyResult RetainedRenderer::copyAll(std::uint8_t* pixels, std::size_t stride,
                                                       PixelFormat format) {
  std::lock_guard lock(mutex_);
  if (frames_ == 0) return CopyResult::nothingPublished;
  if (stride < static_cast<std::size_t>(front_->width) * 4) return CopyResult::strideTooSmall;
  copyPixels(front_->data, front_->stride, pixels, stride, {0, 0, front_->width, front_->height},
             format);
  // The tracked buffer may be this one: what it holds now is the whole frame.
  if (tracked_.pixels == pixels && tracked_.stride == stride && tracked_.format == format) {
    pending_ = {};
  }
  return CopyResult::copied;
}

const BackdropBlur& RetainedRenderer::backdropBlur() const {
  return painter_->backdropBlur();
}

std::uint64_t RetainedRenderer::frameCount() const {
  std::lock_guard lock(mutex_);
  return frames_;
}

}  // namespace tilo::platform
