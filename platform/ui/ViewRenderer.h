// Draws a window (with its presented controllers) or any view to pixels with cairo and
// pango: backgrounds, group opacity, corner radii, borders, clipping, text, images and
// the blur beneath visual-effect views. Hidden views are skipped; running transitions
// are drawn as they stand on the platform clock.
//
//   ViewRenderer renderer;                              // keep it: it keeps the blurs
//   renderer.renderRGBA(*window, pixels, width, height, stride, AlphaMode::premultiplied);
//   ViewRenderer::writePNG(*window, "banner.png", &error);
//
// A window is drawn at its scale over transparent pixels (then its own background, if
// any); another view at the scale asked for (its window's, else 1), its bounds at the
// origin, without what lies beneath it. The tree is laid out first.
//
// Pixels: RGBA8 in memory order R, G, B, A, rows `stride` bytes apart. Premultiplied
// alpha (each colour already multiplied by alpha, as a compositor blending with
// ONE, ONE_MINUS_SRC_ALPHA wants it) or straight alpha; PNG files are straight.
//
// renderRGBA draws straight into the caller's memory (rows and start on whole words, else
// through a surface it keeps) and converts it there; what it has not drawn is cleared
// first, unless an opaque root or a blur over the whole frame replaces every pixel.
//
// Main thread only. Per frame it makes one cairo context and no font map; text layouts
// are cached by the labels, and blurs run at a fraction of the resolution and are made
// again only when what lies beneath them changed (BackdropBlur.h). What lies beneath a
// blur is drawn small for it; when a square blur covers all a frame repaints (a popup's
// backdrop), nothing before it is drawn at full size, since it would be covered. A view
// that clips its subviews (a card) and looked the same last frame is painted from the
// pixels it drew then (LayerCache.h).
#pragma once

#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/Bytes.h"
#include "platform/ui/PixelRect.h"
#include "platform/ui/PixelSize.h"

namespace tilo::platform {

class UIView;
class BackdropBlur;
class LayerCache;

enum class AlphaMode { premultiplied, straight };

class ViewRenderer {
 public:
  ViewRenderer();
  ~ViewRenderer();
  ViewRenderer(const ViewRenderer&) = delete;
  ViewRenderer& operator=(const ViewRenderer&) = delete;

  // Frame memory handed out unzeroed: a render writes every byte of it, and zeroing
  // 12 MB first would cost as much as a pass of the render.
  template <class T>
  struct FrameAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
      using other = FrameAllocator<U>;
    };
    FrameAllocator() = default;
    template <class U>
    FrameAllocator(const FrameAllocator<U>&) noexcept {}
    template <class U>
    void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
      ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
      ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
  };

  struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t, FrameAllocator<std::uint8_t>> rgba;  // stride = width × 4
  };

  // See PixelSize.h: the renderer's sizes are those of every other part.
  static constexpr int kMaxPixelDimension = platform::kMaxPixelDimension;
  static double pixels(double points, double scale) { return pixelsCovering(points, scale); }
  static bool pixelSize(const UIView& view, double scale, int& width, int& height) {
    return viewPixelSize(view, scale, width, height);
  }

  // Into caller memory of exactly the pixel size of the view. False (and `error`) for
  // a size mismatch, a stride below width × 4, a view with no pixels or one beyond
  // kMaxPixelDimension.
  bool renderRGBA(UIView& view, std::uint8_t* pixels, int width, int height, std::size_t stride,
                  AlphaMode mode, std::string* error = nullptr, double scale = 0);
  Image render(UIView& view, AlphaMode mode = AlphaMode::straight, double scale = 0);

  static Bytes pngData(UIView& view, double scale = 0);
  static bool writePNG(UIView& view, const std::string& path, std::string* error = nullptr,
                       double scale = 0);

  // The last frame, premultiplied ARGB32 (cairo's layout). Internal to platform/ui.
  cairo_surface_t* draw(UIView& view, double scale);
  // Draws `view` (laid out) and its subtree through `cr`, whose user space is in points
  // and whose clip is kept, over what the target holds; transitions as of `uptime`.
  // `redrawn` is what this frame repaints of the target, in pixels (a retained frame's
  // damage, else the whole target): a blurred backdrop outside it is kept for later
  // frames even though it is not drawn. With `clear`, `redrawn` is made transparent first,
  // unless what is drawn replaces all of it anyway (an opaque root, a full-frame blur).
  // Internal to platform/ui.
  void drawTree(cairo_t* cr, const UIView& view, double scale, double uptime,
                const PixelRect& redrawn, bool clear = false);
  // The blurred backdrops and the subtrees kept between frames. Internal to platform/ui.
  const BackdropBlur& backdropBlur() const { return *blur_; }
  const LayerCache& layerCache() const { return *layers_; }

 private:
  void drawInto(cairo_surface_t* target, UIView& view, double scale, int width, int height);

  cairo_surface_t* surface_ = nullptr;
  std::unique_ptr<BackdropBlur> blur_;
  std::unique_ptr<LayerCache> layers_;
};

}  // namespace tilo::platform
