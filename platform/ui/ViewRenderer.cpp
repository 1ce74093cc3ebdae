#include "platform/ui/ViewRenderer.h"

#include <algorithm>
#include <cmath>
#include <fstream>

#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/ui/DrawContext.h"
#include "platform/ui/PixelFormat.h"
#include "platform/ui/UIViewController.h"
#include "platform/ui/UIVisualEffectView.h"
#include "platform/ui/UIWindow.h"

namespace tilo::platform {
namespace {

struct RenderState {
  double scale;
  UIUserInterfaceStyle appearance;
  double uptime;
};

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

void setSource(cairo_t* cr, const RGBA& c) {
  cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha);
}

// Three passes of a box blur approximate a Gaussian; rows or columns of premultiplied
// ARGB, edges clamped.
void boxBlur(std::vector<std::uint32_t>& pixels, int width, int height, int radius) {
  if (radius <= 0 || width <= 0 || height <= 0) return;
  std::vector<std::uint32_t> line(std::max(width, height));
  auto pass = [&](int count, int length, auto at) {
    for (int i = 0; i < count; ++i) {
      for (int k = 0; k < length; ++k) line[k] = *at(i, k);
      std::uint32_t sum[4] = {0, 0, 0, 0};
      auto add = [&](std::uint32_t p, int sign) {
        for (int c = 0; c < 4; ++c) {
          sum[c] += static_cast<std::uint32_t>(sign * static_cast<int>((p >> (8 * c)) & 0xFF));
        }
      };
      for (int k = -radius; k <= radius; ++k) add(line[std::clamp(k, 0, length - 1)], 1);
      std::uint32_t window = static_cast<std::uint32_t>(2 * radius + 1);
      for (int k = 0; k < length; ++k) {
        std::uint32_t out = 0;
        for (int c = 0; c < 4; ++c) out |= ((sum[c] + window / 2) / window) << (8 * c);
        *at(i, k) = out;
        add(line[std::clamp(k + radius + 1, 0, length - 1)], 1);
        add(line[std::clamp(k - radius, 0, length - 1)], -1);
      }
    }
  };
  for (int round = 0; round < 3; ++round) {
    pass(height, width, [&](int y, int x) { return &pixels[std::size_t(y) * width + x]; });
    pass(width, height, [&](int x, int y) { return &pixels[std::size_t(y) * width + x]; });
  }
}

// Blurs what the current target holds under `box` (user space) and paints it, clipped to
// the view's rounded bounds, then lays the material's tint over it.
void drawBlur(cairo_t* cr, const CGRect& box, double radius, const UIBlurEffect& effect,
              const RenderState& state) {
  cairo_surface_t* target = cairo_get_group_target(cr);
  if (cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE) return;
  cairo_surface_flush(target);
  int surfaceWidth = cairo_image_surface_get_width(target);
  int surfaceHeight = cairo_image_surface_get_height(target);
  double offsetX = 0, offsetY = 0;
  cairo_surface_get_device_offset(target, &offsetX, &offsetY);

  double x0 = box.minX(), y0 = box.minY(), x1 = box.maxX(), y1 = box.maxY();
  cairo_user_to_device(cr, &x0, &y0);
  cairo_user_to_device(cr, &x1, &y1);
  double deviceScale = (x1 - x0) / box.width();
  double sigma = effect.blurRadius() * deviceScale;  // in pixels
  // Blur at reduced resolution: about three pixels of sigma in the small image.
  int factor = std::max(1, static_cast<int>(std::floor(sigma / 3)));
  int margin = static_cast<int>(std::ceil(2.5 * sigma));
  int left = std::max(0, static_cast<int>(std::floor(x0 + offsetX)) - margin);
  int top = std::max(0, static_cast<int>(std::floor(y0 + offsetY)) - margin);
  int right = std::min(surfaceWidth, static_cast<int>(std::ceil(x1 + offsetX)) + margin);
  int bottom = std::min(surfaceHeight, static_cast<int>(std::ceil(y1 + offsetY)) + margin);
  if (right <= left || bottom <= top) return;
  int smallWidth = (right - left + factor - 1) / factor;
  int smallHeight = (bottom - top + factor - 1) / factor;

  const unsigned char* data = cairo_image_surface_get_data(target);
  int stride = cairo_image_surface_get_stride(target);
  std::vector<std::uint32_t> small(std::size_t(smallWidth) * smallHeight);
  // Each small pixel averages a grid of about 4 × 4 samples of its block: the blur that
  // follows hides the difference from averaging all of them, at a fraction of the reads.
  // Two channels share a 32-bit sum (16 bits each; at most 49 samples of 255).
  int step = std::max(1, factor / 4);
  for (int sy = 0; sy < smallHeight; ++sy) {
    int yStart = top + sy * factor, yEnd = std::min(bottom, yStart + factor);
    for (int sx = 0; sx < smallWidth; ++sx) {
      int xStart = left + sx * factor, xEnd = std::min(right, xStart + factor);
      std::uint32_t blueRed = 0, greenAlpha = 0, count = 0;
      for (int y = yStart; y < yEnd; y += step) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(data + std::size_t(y) * stride);
        for (int x = xStart; x < xEnd; x += step) {
          std::uint32_t p = row[x];
          blueRed += p & 0x00FF00FFu;
          greenAlpha += (p >> 8) & 0x00FF00FFu;
          ++count;
        }
      }
      auto average = [count](std::uint32_t sum) { return (sum + count / 2) / count; };
      small[std::size_t(sy) * smallWidth + sx] =
          average(blueRed & 0xFFFF) | (average(greenAlpha & 0xFFFF) << 8) |
          (average(blueRed >> 16) << 16) | (average(greenAlpha >> 16) << 24);
    }
  }
  // Three box passes of width w have the variance of a Gaussian with sigma² = (w² − 1)/4.
  double smallSigma = sigma / factor;
  int boxRadius = std::max(
      1, static_cast<int>(std::lround((std::sqrt(4 * smallSigma * smallSigma + 1) - 1) / 2)));
  boxBlur(small, smallWidth, smallHeight, boxRadius);
  // The material's tint goes over the small image: blending with a constant commutes
  // with the bilinear scaling up, and saves a pass over every full-size pixel.
  RGBA tint = effect.tintColor().resolved(state.appearance);
  std::uint32_t tintAlpha = static_cast<std::uint32_t>(std::lround(tint.alpha * 255));
  std::uint32_t tintChannels[4] = {
      static_cast<std::uint32_t>(std::lround(tint.blue * tint.alpha * 255)),
      static_cast<std::uint32_t>(std::lround(tint.green * tint.alpha * 255)),
      static_cast<std::uint32_t>(std::lround(tint.red * tint.alpha * 255)), tintAlpha};
  for (auto& p : small) {
    std::uint32_t out = 0;
    for (int c = 0; c < 4; ++c) {
      std::uint32_t below = (p >> (8 * c)) & 0xFF;
      std::uint32_t value = tintChannels[c] + (below * (255 - tintAlpha) + 127) / 255;
      out |= std::min<std::uint32_t>(value, 255) << (8 * c);
    }
    p = out;
  }

  cairo_surface_t* blurred = cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(small.data()), CAIRO_FORMAT_ARGB32, smallWidth, smallHeight,
      smallWidth * 4);
  cairo_save(cr);
  roundedRect(cr, box, radius);
  cairo_clip(cr);
  cairo_identity_matrix(cr);
  cairo_pattern_t* pattern = cairo_pattern_create_for_surface(blurred);
  cairo_matrix_t matrix;
  cairo_matrix_init_scale(&matrix, 1.0 / factor, 1.0 / factor);
  cairo_matrix_translate(&matrix, -(left - offsetX), -(top - offsetY));
  cairo_pattern_set_matrix(pattern, &matrix);
  cairo_pattern_set_filter(pattern, CAIRO_FILTER_BILINEAR);
  cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);  // the blur replaces what it blurs
  cairo_set_source(cr, pattern);
  cairo_paint(cr);
  cairo_pattern_destroy(pattern);
  cairo_restore(cr);
  cairo_surface_destroy(blurred);
}

bool outsideClip(cairo_t* cr, const CGRect& box) {
  double x0, y0, x1, y1;
  cairo_clip_extents(cr, &x0, &y0, &x1, &y1);
  return box.maxX() <= x0 || box.minX() >= x1 || box.maxY() <= y0 || box.minY() >= y1;
}

void drawView(cairo_t* cr, const UIView& view, const RenderState& state, bool isRoot) {
  if (view.isHidden()) return;
  double alpha = view.alpha();
  double offsetY = 0;
  if (const UIViewController* controller = view.viewController()) {
    auto transition = controller->transitionAppearance(state.uptime);
    alpha *= transition.alpha;
    offsetY = transition.offsetY;
  }
  if (alpha <= 0) return;
  CGRect frame = view.frame();
  CGRect box{0, 0, frame.width(), frame.height()};
  const CALayer& layer = view.layer();
  cairo_save(cr);
  if (!isRoot) cairo_translate(cr, frame.x(), frame.y() + offsetY);
  bool childless = view.subviews().empty();
  if ((layer.masksToBounds() || childless) && outsideClip(cr, box)) {
    cairo_restore(cr);
    return;
  }
  bool group = alpha < 1;
  if (group) cairo_push_group(cr);
  double radius = layer.cornerRadius();
  if (const auto& background = view.backgroundColor()) {
    RGBA color = background->resolved(state.appearance);
    if (color.alpha > 0) {
      roundedRect(cr, box, radius);
      setSource(cr, color);
      cairo_fill(cr);
    }
  }
  if (const auto* effectView = dynamic_cast<const UIVisualEffectView*>(&view)) {
    if (effectView->effect() && !box.isEmpty()) {
      drawBlur(cr, box, radius, *effectView->effect(), state);
    }
  }
  cairo_save(cr);
  if (layer.masksToBounds()) {
    roundedRect(cr, box, radius);
    cairo_clip(cr);
  }
  CGRect bounds = view.bounds();
  cairo_translate(cr, -bounds.x(), -bounds.y());
  view.drawRect(DrawContext(cr, state.scale, state.appearance), bounds);
  // One level of recursion per level of the tree: bounded by UIView::kMaxTreeDepth.
  for (const auto& subview : view.subviews()) drawView(cr, *subview, state, false);
  cairo_restore(cr);
  double border = std::min(layer.borderWidth(), std::min(box.width(), box.height()) / 2);
  if (border > 0) {
    RGBA color = layer.borderColor().resolved(state.appearance);
    if (color.alpha > 0) {
      roundedRect(cr, box.insetBy(border / 2, border / 2), radius - border / 2);
      cairo_set_line_width(cr, border);
      setSource(cr, color);
      cairo_stroke(cr);
    }
  }
  if (group) {
    cairo_pop_group_to_source(cr);
    cairo_paint_with_alpha(cr, alpha);
  }
  cairo_restore(cr);
}

double effectiveScale(const UIView& view, double scale) {
  if (scale > 0 && std::isfinite(scale)) return scale;
  if (const UIWindow* window = view.windowPointer()) return window->scale();
  return 1;
}

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
  auto* out = static_cast<Bytes*>(closure);
  out->insert(out->end(), data, data + length);
  return CAIRO_STATUS_SUCCESS;
}

}  // namespace

ViewRenderer::ViewRenderer() = default;

void ViewRenderer::drawTree(cairo_t* cr, const UIView& view, double scale, double uptime) {
  RenderState state{scale, view.effectiveAppearance(), uptime};
  drawView(cr, view, state, true);
}

ViewRenderer::~ViewRenderer() {
  if (surface_) cairo_surface_destroy(surface_);
}

double ViewRenderer::pixels(double points, double scale) {
  return std::ceil(points * scale - 1e-6);
}

bool ViewRenderer::pixelSize(const UIView& view, double scale, int& width, int& height) {
  scale = effectiveScale(view, scale);
  const CGSize size = view.bounds().size;
  const double w = std::max(pixels(size.width, scale), 0.0);
  const double h = std::max(pixels(size.height, scale), 0.0);
  if (!(w <= kMaxPixelDimension) || !(h <= kMaxPixelDimension)) {
    width = height = 0;
    return false;
  }
  width = static_cast<int>(w);
  height = static_cast<int>(h);
  return true;
}

cairo_surface_t* ViewRenderer::draw(UIView& view, double scale) {
  view.layoutIfNeeded();
  scale = effectiveScale(view, scale);
  int width = 0, height = 0;
  pixelSize(view, scale, width, height);
  if (width <= 0 || height <= 0) return nullptr;
  if (!surface_ || cairo_image_surface_get_width(surface_) != width ||
      cairo_image_surface_get_height(surface_) != height) {
    if (surface_) cairo_surface_destroy(surface_);
    surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(surface_);
      surface_ = nullptr;
      return nullptr;
    }
  }
  cairo_t* cr = cairo_create(surface_);
  // An opaque, square, fully shown root covers every pixel: no need to clear first. Not
  // when its edge falls inside a pixel (a fractional scale or size), which it covers only
  // in part: that pixel would blend over the last frame's.
  const auto& background = view.backgroundColor();
  const CGSize size = view.bounds().size;
  bool covers = !view.isHidden() && view.alpha() >= 1 && view.layer().cornerRadius() <= 0 &&
                background && background->resolved(view.effectiveAppearance()).alpha >= 1 &&
                !view.viewController() && size.width * scale == width &&
                size.height * scale == height;
  if (!covers) {
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  }
  cairo_scale(cr, scale, scale);
  drawTree(cr, view, scale, Environment::current().clock().uptime());
  cairo_destroy(cr);
  cairo_surface_flush(surface_);
  return surface_;
}

bool ViewRenderer::renderRGBA(UIView& view, std::uint8_t* pixels, int width, int height,
                              std::size_t stride, AlphaMode mode, std::string* error,
                              double scale) {
  auto fail = [error](std::string message) {
    if (error) *error = std::move(message);
    return false;
  };
  int expectedWidth = 0, expectedHeight = 0;
  if (!pixelSize(view, scale, expectedWidth, expectedHeight)) {
    return fail("the view is larger than " + std::to_string(kMaxPixelDimension) +
                " pixels on a side");
  }
  if (expectedWidth <= 0 || expectedHeight <= 0) return fail("the view has no pixels to render");
  if (width != expectedWidth || height != expectedHeight) {
    return fail("the buffer is " + std::to_string(width) + " x " + std::to_string(height) +
                " pixels; the view needs " + std::to_string(expectedWidth) + " x " +
                std::to_string(expectedHeight));
  }
  if (!pixels || stride < std::size_t(width) * 4) {
    return fail("the buffer's stride is smaller than width × 4 bytes");
  }
  cairo_surface_t* surface = draw(view, scale);
  if (!surface) return fail("not enough memory to render");
  copyPixels(cairo_image_surface_get_data(surface),
             static_cast<std::size_t>(cairo_image_surface_get_stride(surface)), pixels, stride,
             {0, 0, width, height},
             mode == AlphaMode::premultiplied ? PixelFormat::rgbaPremultiplied : PixelFormat::rgba);
  return true;
}

ViewRenderer::Image ViewRenderer::render(UIView& view, AlphaMode mode, double scale) {
  Image image;
  pixelSize(view, scale, image.width, image.height);
  if (image.width <= 0 || image.height <= 0) return {};
  image.rgba.resize(std::size_t(image.width) * image.height * 4);
  if (!renderRGBA(view, image.rgba.data(), image.width, image.height, std::size_t(image.width) * 4,
                  mode, nullptr, scale)) {
    return {};
  }
  return image;
}

Bytes ViewRenderer::pngData(UIView& view, double scale) {
  ViewRenderer renderer;
  Bytes out;
  if (cairo_surface_t* surface = renderer.draw(view, scale)) {
    cairo_surface_write_to_png_stream(surface, appendBytes, &out);
  }
  return out;
}

bool ViewRenderer::writePNG(UIView& view, const std::string& path, std::string* error,
                            double scale) {
  Bytes png = pngData(view, scale);
  if (png.empty()) {
    int width = 0, height = 0;
    view.layoutIfNeeded();
    if (error) {
      *error = pixelSize(view, scale, width, height)
                   ? "the view has no pixels to render"
                   : "the view is larger than " + std::to_string(kMaxPixelDimension) +
                         " pixels on a side";
    }
    return false;
  }
  if (!FileSystem::atomicWrite(
          path, std::string_view(reinterpret_cast<const char*>(png.data()), png.size()))) {
    if (error) *error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace tilo::platform
