#include "platform/ui/ViewRenderer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <utility>

#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/ui/BackdropBlur.h"
#include "platform/ui/DisplayList.h"
#include "platform/ui/DrawContext.h"
#include "platform/ui/LayerCache.h"
#include "platform/ui/PixelFormat.h"
#include "platform/ui/PixelSize.h"
#include "platform/ui/UIViewController.h"
#include "platform/ui/UIVisualEffectView.h"
#include "platform/ui/UIWindow.h"

namespace tilo::platform {
namespace {

struct RenderState {
  double scale;
  UIUserInterfaceStyle appearance;
  double uptime;
  BackdropBlur* blur;
  const UIView* root;
  // Drawing a blur's backdrop: everything before this view, with no blurs of its own.
  const UIView* stopAt = nullptr;
  bool stopped = false;
  // A blur that replaces every pixel the frame repaints: before it, only it and its
  // ancestors draw (the rest would be covered), and those draw nothing of their own.
  const UIView* cover = nullptr;
  std::vector<const UIView*> coverAncestors = {};
  bool coverReached = false;
  // Left as the target held it, to be cleared if the cover draws nothing after all.
  const PixelRect* uncleared = nullptr;
  // Subtrees kept as pixels between frames (none while drawing into one).
  LayerCache* layers = nullptr;
};

// Makes `pixels` (device space) of the target transparent, whatever the user space and
// within the clip `cr` has.
void clearPixels(cairo_t* cr, const PixelRect& pixels) {
  cairo_save(cr);
  cairo_identity_matrix(cr);
  cairo_rectangle(cr, pixels.x, pixels.y, pixels.width, pixels.height);
  cairo_clip(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  cairo_paint(cr);
  cairo_restore(cr);
}

void setSource(cairo_t* cr, const RGBA& c) {
  cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha);
}

bool outsideClip(cairo_t* cr, const CGRect& box) {
  double x0, y0, x1, y1;
  cairo_clip_extents(cr, &x0, &y0, &x1, &y1);
  return box.maxX() <= x0 || box.minX() >= x1 || box.maxY() <= y0 || box.minY() >= y1;
}

void drawView(cairo_t* cr, const UIView& view, RenderState& state, bool isRoot);

// What `view` draws once `cr` is in its frame: background, blur, content, subviews and
// border.
void drawContents(cairo_t* cr, const UIView& view, RenderState& state, const CGRect& box) {
  const CALayer& layer = view.layer();
  double radius = layer.cornerRadius();
  const bool covered = state.cover && !state.coverReached;  // an ancestor of the cover
  if (const auto& background = covered ? std::nullopt : view.backgroundColor()) {
    RGBA color = background->resolved(state.appearance);
    if (color.alpha > 0) {
      roundedRect(cr, box, radius);
      setSource(cr, color);
      cairo_fill(cr);
    }
  }
  if (const auto* effectView = dynamic_cast<const UIVisualEffectView*>(&view)) {
    if (effectView->effect() && !box.isEmpty()) {
      const UIBlurEffect& effect = *effectView->effect();
      if (!state.stopAt) {
        // The backdrop: the tree drawn small up to this view.
        auto backdrop = [&state, &view](cairo_t* small) {
          RenderState beneath{state.scale, state.appearance, state.uptime, state.blur, state.root};
          beneath.stopAt = &view;
          cairo_scale(small, state.scale, state.scale);
          drawView(small, *state.root, beneath, true);
        };
        const std::uint64_t beneath =
            DisplayList::digest(*state.root, state.scale, state.uptime, state.appearance, &view);
        const bool painted =
            state.blur->draw(cr, box, radius, effect.blurRadius(),
                             effect.tintColor().resolved(state.appearance), backdrop, beneath);
        if (&view == state.cover && !painted && state.uncleared) {
          clearPixels(cr, *state.uncleared);
        }
      }
    }
  }
  cairo_save(cr);
  if (layer.masksToBounds()) {
    roundedRect(cr, box, radius);
    cairo_clip(cr);
  }
  CGRect bounds = view.bounds();
  cairo_translate(cr, -bounds.x(), -bounds.y());
  if (!covered) view.drawRect(DrawContext(cr, state.scale, state.appearance), bounds);
  // One level of recursion per level of the tree: bounded by UIView::kMaxTreeDepth.
  for (const auto& subview : view.subviews()) drawView(cr, *subview, state, false);
  cairo_restore(cr);
  double border = std::min(layer.borderWidth(), std::min(box.width(), box.height()) / 2);
  if (border > 0 && !(state.cover && !state.coverReached) && !state.stopped) {
    RGBA color = layer.borderColor().resolved(state.appearance);
    if (color.alpha > 0) {
      roundedRect(cr, box.insetBy(border / 2, border / 2), radius - border / 2);
      cairo_set_line_width(cr, border);
      setSource(cr, color);
      cairo_stroke(cr);
    }
  }
}

// Paints a clipping subtree from the renderer's layers when it looked the same last
// frame: one blend instead of its pictures, text and shapes. False when it is drawn.
bool paintFromLayer(cairo_t* cr, const UIView& view, RenderState& state, const CGRect& box) {
  if (!state.layers || state.stopAt || (state.cover && !state.coverReached)) return false;
  bool blurs = false;
  const std::uint64_t digest =
      DisplayList::digest(view, state.scale, state.uptime, state.appearance, nullptr, &blurs);
  if (blurs) return false;  // a blur reads what lies beneath it, which is not in the layer
  return state.layers->paint(cr, view.serialNumber(), digest, box, [&](cairo_t* into) {
    LayerCache* layers = std::exchange(state.layers, nullptr);  // no layers within layers
    drawContents(into, view, state, box);
    state.layers = layers;
  });
}

void drawView(cairo_t* cr, const UIView& view, RenderState& state, bool isRoot) {
  if (state.stopped) return;
  if (&view == state.stopAt) {
    state.stopped = true;
    return;
  }
  if (view.isHidden()) return;
  if (state.cover && !state.coverReached) {
    if (&view == state.cover) {
      state.coverReached = true;
    } else if (std::find(state.coverAncestors.begin(), state.coverAncestors.end(), &view) ==
               state.coverAncestors.end()) {
      return;  // wholly beneath the cover
    }
  }
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
  const bool group = alpha < 1;
  if (!isRoot && !group && layer.masksToBounds() && !childless &&
      paintFromLayer(cr, view, state, box)) {
    cairo_restore(cr);
    return;
  }
  if (group) cairo_push_group(cr);
  drawContents(cr, view, state, box);
  if (group) {
    cairo_pop_group_to_source(cr);
    cairo_paint_with_alpha(cr, alpha);
  }
  cairo_restore(cr);
}

// The last blur in drawing order that replaces every pixel of `redrawn`: square, with
// nothing above it in the tree that fades (a group) or clips it. `x`, `y`: where the
// superview's bounds origin lies, in points.
const UIView* coveringBlur(const UIView& view, const RenderState& state, double x, double y,
                           bool isRoot, const PixelRect& redrawn) {
  if (view.isHidden() || redrawn.isEmpty()) return nullptr;
  double alpha = view.alpha();
  double offsetY = 0;
  if (const UIViewController* controller = view.viewController()) {
    auto transition = controller->transitionAppearance(state.uptime);
    alpha *= transition.alpha;
    offsetY = transition.offsetY;
  }
  if (alpha < 1) return nullptr;
  const CGRect frame = view.frame();
  if (!isRoot) {
    x += frame.x();
    y += frame.y() + offsetY;
  }
  const UIView* found = nullptr;
  const auto* effectView = dynamic_cast<const UIVisualEffectView*>(&view);
  if (effectView && effectView->effect() && view.layer().cornerRadius() <= 0) {
    const double s = state.scale;
    if (x * s <= redrawn.x && y * s <= redrawn.y && (x + frame.width()) * s >= redrawn.maxX() &&
        (y + frame.height()) * s >= redrawn.maxY()) {
      found = &view;
    }
  }
  if (view.layer().masksToBounds()) return found;
  const CGRect bounds = view.bounds();
  // One level of recursion per level of the tree: bounded by UIView::kMaxTreeDepth.
  for (const auto& subview : view.subviews()) {
    if (const UIView* later =
            coveringBlur(*subview, state, x - bounds.x(), y - bounds.y(), false, redrawn)) {
      found = later;
    }
  }
  return found;
}

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
  auto* out = static_cast<Bytes*>(closure);
  out->insert(out->end(), data, data + length);
  return CAIRO_STATUS_SUCCESS;
}

}  // namespace

ViewRenderer::ViewRenderer()
    : blur_(std::make_unique<BackdropBlur>()), layers_(std::make_unique<LayerCache>()) {}

void ViewRenderer::drawTree(cairo_t* cr, const UIView& view, double scale, double uptime,
                            const PixelRect& redrawn, bool clear) {
  RenderState state{scale, view.effectiveAppearance(), uptime, blur_.get(), &view};
  state.layers = layers_.get();
  state.cover = coveringBlur(view, state, 0, 0, true, redrawn);
  for (const UIView* up = state.cover; up && up != &view;) {
    const auto parent = up->superview();
    up = parent.get();  // the tree holds it
    if (up) state.coverAncestors.push_back(up);
  }
  int width = 0, height = 0;
  viewPixelSize(view, scale, width, height);
  if (clear) {
    // A cover replaces every pixel it is given, as does an opaque, square, fully shown
    // root whose edges fall on whole pixels (not one at a fractional scale or size, which
    // covers its last pixels in part and would blend them over what was there).
    const auto& background = view.backgroundColor();
    const CGSize size = view.bounds().size;
    const bool opaqueRoot =
        !view.isHidden() && view.alpha() >= 1 && view.layer().cornerRadius() <= 0 && background &&
        background->resolved(view.effectiveAppearance()).alpha >= 1 && !view.viewController() &&
        size.width * scale == width && size.height * scale == height;
    if (state.cover) {
      state.uncleared = &redrawn;
    } else if (!opaqueRoot) {
      clearPixels(cr, redrawn);
    }
  }
  blur_->beginFrame({0, 0, width, height}, redrawn);
  layers_->beginFrame(redrawn);
  drawView(cr, view, state, true);
  layers_->endFrame();
  blur_->endFrame();
}

ViewRenderer::~ViewRenderer() {
  if (surface_) cairo_surface_destroy(surface_);
}

cairo_surface_t* ViewRenderer::draw(UIView& view, double scale) {
  view.layoutIfNeeded();
  scale = drawingScale(view, scale);
  int width = 0, height = 0;
  viewPixelSize(view, scale, width, height);
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
  drawInto(surface_, view, scale, width, height);
  return surface_;
}

void ViewRenderer::drawInto(cairo_surface_t* target, UIView& view, double scale, int width,
                            int height) {
  cairo_t* cr = cairo_create(target);
  cairo_scale(cr, scale, scale);
  drawTree(cr, view, scale, Environment::current().clock().uptime(), {0, 0, width, height}, true);
  cairo_destroy(cr);
  cairo_surface_flush(target);
}

bool ViewRenderer::renderRGBA(UIView& view, std::uint8_t* pixels, int width, int height,
                              std::size_t stride, AlphaMode mode, std::string* error,
                              double scale) {
  auto fail = [error](std::string message) {
    if (error) *error = std::move(message);
    return false;
  };
  int expectedWidth = 0, expectedHeight = 0;
  if (!viewPixelSize(view, scale, expectedWidth, expectedHeight)) {
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
  const PixelFormat format =
      mode == AlphaMode::premultiplied ? PixelFormat::rgbaPremultiplied : PixelFormat::rgba;
  // Drawn straight into the caller's memory where cairo can address it (rows and start on
  // whole words), then converted there: no frame-sized copy, no second buffer.
  if (reinterpret_cast<std::uintptr_t>(pixels) % 4 == 0 && stride % 4 == 0 &&
      stride <= std::size_t{INT32_MAX}) {
    view.layoutIfNeeded();
    cairo_surface_t* target = cairo_image_surface_create_for_data(
        pixels, CAIRO_FORMAT_ARGB32, width, height, static_cast<int>(stride));
    if (cairo_surface_status(target) == CAIRO_STATUS_SUCCESS) {
      drawInto(target, view, drawingScale(view, scale), width, height);
      cairo_surface_destroy(target);
      copyPixels(pixels, stride, pixels, stride, {0, 0, width, height}, format);
      return true;
    }
    cairo_surface_destroy(target);
  }
  cairo_surface_t* surface = draw(view, scale);
  if (!surface) return fail("not enough memory to render");
  copyPixels(cairo_image_surface_get_data(surface),
             static_cast<std::size_t>(cairo_image_surface_get_stride(surface)), pixels, stride,
             {0, 0, width, height}, format);
  return true;
}

ViewRenderer::Image ViewRenderer::render(UIView& view, AlphaMode mode, double scale) {
  Image image;
  viewPixelSize(view, scale, image.width, image.height);
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
      *error = viewPixelSize(view, scale, width, height)
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
