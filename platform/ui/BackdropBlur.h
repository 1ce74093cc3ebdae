// The blur beneath visual-effect views: what the target already holds under a box is
// sampled at a fraction of the resolution, blurred there, tinted, and scaled back up.
//
//   BackdropBlur blur;                      // one per renderer: it keeps its layers
//   blur.beginFrame({0, 0, width, height}); // what this frame repaints, in pixels
//   blur.draw(cr, box, cornerRadius, sigmaPoints, tint);   // for each effect view
//   blur.endFrame();                        // layers no view drew are released
//
// A blurred layer is kept from frame to frame and made again only when what it blurs
// changed (the samples it is made from are compared), or the box, its place, the radius
// or the tint did: a presented popup blurs its backdrop once, not every frame. It holds
// only the small image (about 1/100 of the box's pixels at a 12 pt radius on scale 3).
//
// A partial frame (a retained renderer's damage) repaints only part of the target; the
// rest still holds the last finished frame, blur included, which is no backdrop to
// sample. So a layer whose box the frame does not repaint is neither sampled nor
// dropped, and the caller repaints all a blur reads whenever it repaints any of its box
// (DisplayList's damage does): then every sample is fresh and the pixels are those of a
// full frame.
//
// A square box on whole pixels under a clip made of rectangles (the usual full-screen
// backdrop) is scaled up straight into the target's pixels; any other shape goes through
// cairo's bilinear pattern, clipped to the rounded box. Main thread only, like the
// renderer.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <vector>

#include "platform/ui/CGGeometry.h"
#include "platform/ui/PixelRect.h"
#include "platform/ui/UIColor.h"

namespace tilo::platform {

class BackdropBlur {
 public:
  // `redrawn`: the target's pixels this frame repaints (device space of the target).
  void beginFrame(const PixelRect& redrawn);
  void endFrame();
  // Blurs what the current target of `cr` holds under `box` (user space) with a Gaussian
  // of `sigma` points, lays `tint` over it and paints it, clipped to the rounded box and
  // replacing what was there.
  void draw(cairo_t* cr, const CGRect& box, double cornerRadius, double sigma, const RGBA& tint);

  // Layers held now (for tests).
  std::size_t layerCount() const { return layers_.size(); }
  // Layers made since the renderer was made (for tests: a cached frame makes none).
  std::uint64_t layersMade() const { return layersMade_; }

 private:
  // Where a layer comes from (the pixels it samples, in the frame's device space, which
  // a group's own surface shares) and how it is made.
  struct Key {
    int left = 0, top = 0, right = 0, bottom = 0, factor = 1, boxRadius = 1;
    std::uint32_t tint = 0;
    bool operator==(const Key&) const = default;
  };
  struct Layer {
    Key key;
    std::vector<std::uint32_t> samples;  // the small image before the blur
    std::vector<std::uint32_t> blurred;  // blurred and tinted, premultiplied ARGB
    bool used = false;                   // drawn in the current frame
  };

  std::vector<Layer> layers_;
  PixelRect redrawn_;
  std::uint64_t layersMade_ = 0;
};

}  // namespace tilo::platform
