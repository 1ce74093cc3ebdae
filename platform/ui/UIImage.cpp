#include "platform/ui/UIImage.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "platform/ui/DrawContext.h"
#include "platform/ui/ImageDecoder.h"
#include "platform/ui/ImageRenditionCache.h"
#include "platform/ui/TextLayout.h"

namespace tilo::platform {
namespace {

using SurfacePtr = std::shared_ptr<cairo_surface_t>;

SurfacePtr adopt(cairo_surface_t* surface) {
  return SurfacePtr(surface, cairo_surface_destroy);
}

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
  auto* out = static_cast<Bytes*>(closure);
  out->insert(out->end(), data, data + length);
  return CAIRO_STATUS_SUCCESS;
}

void drawXmark(cairo_t* cr, const CGRect& rect) {
  // Two strokes corner to corner, round caps, weight proportional to the symbol size.
  double side = std::min(rect.width(), rect.height());
  double inset = side * 0.2;
  double x0 = rect.midX() - side / 2 + inset, x1 = rect.midX() + side / 2 - inset;
  double y0 = rect.midY() - side / 2 + inset, y1 = rect.midY() + side / 2 - inset;
  cairo_set_line_width(cr, side * 0.125);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_move_to(cr, x0, y0);
  cairo_line_to(cr, x1, y1);
  cairo_move_to(cr, x1, y0);
  cairo_line_to(cr, x0, y1);
  cairo_stroke(cr);
}

}  // namespace

UIImage::UIImage(std::shared_ptr<cairo_surface_t> surface, double scale)
    : surface_(std::move(surface)), scale_(scale) {
  size_ = {cairo_image_surface_get_width(surface_.get()) / scale,
           cairo_image_surface_get_height(surface_.get()) / scale};
}

UIImage::UIImage(std::string symbolName, CGSize size)
    : size_(size), symbolName_(std::move(symbolName)) {}

std::shared_ptr<UIImage> UIImage::imageWithData(const Bytes& data, double scale,
                                                std::string* error) {
  if (!std::isfinite(scale) || scale <= 0) scale = 1;
  std::string message;
  auto surface = ImageDecoder::decode(data, 0, 0, message);
  if (!surface) {
    if (error) *error = message;
    return nullptr;
  }
  return std::make_shared<UIImage>(std::move(surface), scale);
}

std::shared_ptr<UIImage> UIImage::imageDecodedWhenDrawn(Bytes data, double scale,
                                                        std::string* error) {
  if (!std::isfinite(scale) || scale <= 0) scale = 1;
  std::string message;
  auto header = ImageDecoder::readHeader(data, message);
  // Decoded once, small, so that bytes that do not decode fail here rather than draw
  // nothing later.
  if (!header ||
      !ImageDecoder::decode(data, (header->width + 7) / 8, (header->height + 7) / 8, message)) {
    if (error) *error = message;
    return nullptr;
  }
  auto image = std::make_shared<UIImage>(std::string(),
                                         CGSize{header->width / scale, header->height / scale});
  image->scale_ = scale;
  image->encoded_ = std::make_shared<const Bytes>(std::move(data));
  image->encodedWidth_ = header->width;
  image->encodedHeight_ = header->height;
  return image;
}

std::shared_ptr<UIImage> UIImage::systemImageNamed(std::string_view name) {
  if (name != "xmark") return nullptr;
  // The size the platform gives the symbol at the body text size.
  return std::make_shared<UIImage>(std::string(name), CGSize{17, 17});
}

std::shared_ptr<UIImage> UIImage::generated(CGSize size, const UIColor& top, const UIColor& bottom,
                                            const std::string& caption, double scale) {
  if (!std::isfinite(scale) || scale <= 0) scale = 1;
  double width = std::isfinite(size.width) ? std::clamp(size.width, 1.0, 4096.0) : 1.0;
  double height = std::isfinite(size.height) ? std::clamp(size.height, 1.0, 4096.0) : 1.0;
  int pixelWidth = std::max(1, static_cast<int>(std::lround(width * scale)));
  int pixelHeight = std::max(1, static_cast<int>(std::lround(height * scale)));
  auto surface = adopt(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixelWidth, pixelHeight));
  cairo_t* cr = cairo_create(surface.get());
  cairo_scale(cr, scale, scale);
  RGBA from = top.resolved(UIUserInterfaceStyle::light);
  RGBA to = bottom.resolved(UIUserInterfaceStyle::light);
  cairo_pattern_t* gradient = cairo_pattern_create_linear(0, 0, 0, height);
  cairo_pattern_add_color_stop_rgba(gradient, 0, from.red, from.green, from.blue, from.alpha);
  cairo_pattern_add_color_stop_rgba(gradient, 1, to.red, to.green, to.blue, to.alpha);
  cairo_set_source(cr, gradient);
  cairo_paint(cr);
  cairo_pattern_destroy(gradient);
  if (!caption.empty()) {
    double luminance = 0.2126 * (from.red + to.red) / 2 + 0.7152 * (from.green + to.green) / 2 +
                       0.0722 * (from.blue + to.blue) / 2;
    RGBA ink = luminance > 0.6 ? RGBA{0, 0, 0, 1} : RGBA{1, 1, 1, 1};
    double fontSize = std::clamp(std::min(width, height) / 4, 6.0, 48.0);
    auto text = TextLayout::make({.text = caption,
                                  .font = UIFont::systemFont(fontSize, UIFontWeight::semibold),
                                  .width = width - 4,
                                  .numberOfLines = 1,
                                  .alignment = NSTextAlignment::center});
    text->draw(cr, {2, (height - text->size().height) / 2, width - 4, text->size().height}, ink);
  }
  cairo_destroy(cr);
  cairo_surface_flush(surface.get());
  return std::make_shared<UIImage>(std::move(surface), scale);
}

std::shared_ptr<cairo_surface_t> UIImage::fullSizePixels() const {
  if (surface_ || !encoded_) return surface_;
  std::string error;
  return ImageDecoder::decode(*encoded_, 0, 0, error);
}

bool UIImage::copyPixels(std::uint8_t* target, std::size_t stride, PixelFormat format) const {
  const auto pixels = fullSizePixels();  // the file's size only for this copy
  if (!pixels) return false;
  cairo_surface_flush(pixels.get());
  const auto* source = cairo_image_surface_get_data(pixels.get());
  if (!source) return false;
  platform::copyPixels(source,
                       static_cast<std::size_t>(cairo_image_surface_get_stride(pixels.get())),
                       target, stride, PixelRect{0, 0, pixelWidth(), pixelHeight()}, format);
  return true;
}

int UIImage::pixelWidth() const {
  if (surface_) return cairo_image_surface_get_width(surface_.get());
  return encoded_ ? encodedWidth_ : static_cast<int>(std::lround(size_.width));
}

int UIImage::pixelHeight() const {
  if (surface_) return cairo_image_surface_get_height(surface_.get());
  return encoded_ ? encodedHeight_ : static_cast<int>(std::lround(size_.height));
}

std::shared_ptr<UIImage> UIImage::withRenderingMode(UIImageRenderingMode mode) const {
  auto copy = std::make_shared<UIImage>(*this);
  copy->renderingMode_ = mode;
  return copy;
}

void UIImage::decodeAhead() const {
  if (encoded_) ImageRenditionCache::shared().rendition(encoded_, encodedWidth_, encodedHeight_);
}

void UIImage::draw(cairo_t* cr, const CGRect& rect, const RGBA& tint) const {
  if (rect.isEmpty() || !rect.isFinite()) return;
  cairo_save(cr);
  if (isSymbol()) {
    RGBA ink = isTemplate() ? tint : RGBA{0, 0, 0, 1};
    cairo_set_source_rgba(cr, ink.red, ink.green, ink.blue, ink.alpha);
    drawXmark(cr, rect);
    cairo_restore(cr);
    return;
  }
  std::shared_ptr<cairo_surface_t> pixels = surface_;
  if (!pixels && encoded_) {
    // Decoded at the pixels it covers on the target (never above the file's size).
    double wx = rect.width(), wy = 0, hx = 0, hy = rect.height();
    cairo_user_to_device_distance(cr, &wx, &wy);
    cairo_user_to_device_distance(cr, &hx, &hy);
    auto pixelsFor = [](double length, int most) {
      if (!std::isfinite(length)) return most;
      return static_cast<int>(std::clamp(std::ceil(length - 1e-6), 1.0, static_cast<double>(most)));
    };
    pixels = ImageRenditionCache::shared().rendition(encoded_,
                                                     pixelsFor(std::hypot(wx, wy), encodedWidth_),
                                                     pixelsFor(std::hypot(hx, hy), encodedHeight_));
  }
  if (!pixels) {
    cairo_restore(cr);
    return;
  }
  const int width = cairo_image_surface_get_width(pixels.get());
  const int height = cairo_image_surface_get_height(pixels.get());
  const double sx = rect.width() / width, sy = rect.height() / height;
  // Shrinking a lot needs a filter that averages; otherwise bilinear is enough and fast.
  double deviceScale = 1;
  {
    double dx = sx, dy = 0;
    cairo_user_to_device_distance(cr, &dx, &dy);
    deviceScale = std::hypot(dx, dy);
  }
  if (deviceScale < 0.5 && !isTemplate() && paintShrunk(cr, rect, pixels)) {
    cairo_restore(cr);
    return;
  }
  cairo_rectangle(cr, rect.x(), rect.y(), rect.width(), rect.height());
  cairo_clip(cr);
  cairo_translate(cr, rect.x(), rect.y());
  cairo_scale(cr, sx, sy);
  cairo_pattern_t* pattern = cairo_pattern_create_for_surface(pixels.get());
  cairo_pattern_set_filter(pattern, deviceScale < 0.5 ? CAIRO_FILTER_GOOD : CAIRO_FILTER_BILINEAR);
  cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
  if (isTemplate()) {
    cairo_set_source_rgba(cr, tint.red, tint.green, tint.blue, tint.alpha);
    cairo_mask(cr, pattern);
  } else {
    cairo_set_source(cr, pattern);
    cairo_paint(cr);
  }
  cairo_pattern_destroy(pattern);
  cairo_restore(cr);
}

bool UIImage::paintShrunk(cairo_t* cr, const CGRect& rect,
                          const std::shared_ptr<cairo_surface_t>& pixels) const {
  const auto device = deviceBoxOf(cr, rect);
  if (!device) return false;
  const cairo_matrix_t& matrix = device->matrix;
  const double left = device->left, top = device->top;
  const int width = device->width, height = device->height;
  if (width <= 0 || height <= 0 || static_cast<long long>(width) * height > kMaxShrunkPixels) {
    return false;
  }
  // The same scale and fraction of a pixel make the same samples, whole pixels apart.
  const double placement[8] = {matrix.xx, matrix.yy, matrix.x0 - left, matrix.y0 - top,
                               rect.x(),  rect.y(),  rect.width(),     rect.height()};
  std::shared_ptr<cairo_surface_t> made;
  {
    std::lock_guard lock(shrunk_->mutex);
    Shrunk* entries = shrunk_->entries;
    auto fits = [&](const Shrunk& kept) {
      return kept.pixels && kept.source.lock() == pixels &&
             std::equal(std::begin(placement), std::end(placement), std::begin(kept.placement));
    };
    if (fits(entries[0])) {
      made = entries[0].pixels;
    } else if (fits(entries[1])) {
      std::swap(entries[0], entries[1]);
      made = entries[0].pixels;
    } else {
      made = adopt(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
      if (cairo_surface_status(made.get()) != CAIRO_STATUS_SUCCESS) return false;
      cairo_t* into = cairo_create(made.get());
      cairo_matrix_t moved = matrix;
      moved.x0 -= left;
      moved.y0 -= top;
      cairo_set_matrix(into, &moved);
      cairo_rectangle(into, rect.x(), rect.y(), rect.width(), rect.height());
      cairo_clip(into);
      cairo_translate(into, rect.x(), rect.y());
      cairo_scale(into, rect.width() / cairo_image_surface_get_width(pixels.get()),
                  rect.height() / cairo_image_surface_get_height(pixels.get()));
      cairo_pattern_t* pattern = cairo_pattern_create_for_surface(pixels.get());
      cairo_pattern_set_filter(pattern, CAIRO_FILTER_GOOD);
      cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
      cairo_set_source(into, pattern);
      cairo_paint(into);
      cairo_pattern_destroy(pattern);
      cairo_destroy(into);
      cairo_surface_flush(made.get());
      entries[1] = std::move(entries[0]);
      entries[0].source = pixels;
      std::copy(std::begin(placement), std::end(placement), std::begin(entries[0].placement));
      entries[0].pixels = made;
    }
  }
  cairo_save(cr);
  cairo_identity_matrix(cr);
  cairo_set_source_surface(cr, made.get(), left, top);
  cairo_paint(cr);
  cairo_restore(cr);
  return true;
}

Bytes UIImage::pngData() const {
  Bytes out;
  SurfacePtr surface = fullSizePixels();
  if (!surface) {
    surface = adopt(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max(1, pixelWidth()),
                                               std::max(1, pixelHeight())));
    cairo_t* cr = cairo_create(surface.get());
    draw(cr, {0, 0, size_.width, size_.height}, {0, 0, 0, 1});
    cairo_destroy(cr);
  }
  cairo_surface_write_to_png_stream(surface.get(), appendBytes, &out);
  return out;
}

}  // namespace tilo::platform
