// Subtrees drawn once and then painted from pixels kept between frames: a popup's card,
// with its picture scaled and its text shaped and drawn, costs one blend per frame while
// nothing in it changes.
//
//   LayerCache layers;                         // one per renderer
//   layers.beginFrame(redrawn);                // the pixels this frame repaints
//   if (!layers.paint(cr, view, digest, box, draw)) draw(cr);   // per cacheable view
//   layers.endFrame();                         // layers no view painted are released
//
// A layer is keyed by the view, a digest of what its subtree draws (DisplayList::digest),
// and where its pixels fall on the device grid (scale and the fraction of a pixel the box
// starts at), so its pixels are those the subtree would draw there; only the last
// rounding of blending them in one go can differ, by one level at antialiased edges. It
// is made the second frame in a row a subtree looks the same (a moving or changing one
// keeps being drawn directly) and is at most kMaxPixels. As with blurred backdrops, a
// layer a partial frame does not repaint is kept. Main thread only, like the renderer.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>

#include "platform/ui/CGGeometry.h"
#include "platform/ui/PixelRect.h"

namespace tilo::platform {

class LayerCache {
 public:
  static constexpr long long kMaxPixels = 4'000'000;
  static constexpr long long kMinPixels = 64 * 64;

  LayerCache() = default;
  LayerCache(const LayerCache&) = delete;
  LayerCache& operator=(const LayerCache&) = delete;

  void beginFrame(const PixelRect& redrawn);
  void endFrame();

  // Paints the subtree of the view with serial `serial` and subtree `digest` from its
  // layer, its box (the view's bounds) given in the user space of `cr`, which must be
  // scaled and translated only. `draw` draws the subtree into a context whose user space
  // is set up as that of `cr`. False when there is no layer for it (yet): the caller then
  // draws it itself.
  bool paint(cairo_t* cr, std::uint64_t serial, std::uint64_t digest, const CGRect& box,
             const std::function<void(cairo_t*)>& draw);

  // Layers held, and made since the cache was made (for tests).
  std::size_t layerCount() const;
  std::uint64_t layersMade() const { return made_; }

 private:
  struct Key {
    std::uint64_t digest = 0;
    double scaleX = 0, scaleY = 0, phaseX = 0, phaseY = 0;
    int width = 0, height = 0;
    bool operator==(const Key&) const = default;
  };
  struct Layer {
    Key key;
    PixelRect box;                            // device pixels it was last painted over
    std::shared_ptr<cairo_surface_t> pixels;  // null until made
    bool used = false;
  };

  std::unordered_map<std::uint64_t, Layer> layers_;  // by view serial
  PixelRect redrawn_;
  std::uint64_t made_ = 0;
};

}  // namespace tilo::platform
