// The blur beneath visual-effect views: what lies under a box is drawn small (each pixel
// a block of about a third of the blur's sigma), blurred there, tinted, and scaled back
// up. The renderer draws the backdrop, its tree up to the effect view, into the small
// image; the target's pixels are never read.
//
//   BackdropBlur blur;                      // one per renderer: it keeps its layers
//   blur.beginFrame(canvas, redrawn);       // the frame's pixels, and those it repaints
//   blur.draw(cr, box, cornerRadius, sigmaPoints, tint, backdrop);  // per effect view
//   blur.endFrame();                        // layers no view drew are released
//
// A blurred layer is kept from frame to frame and made again only when what it blurs
// changed (the small backdrops are compared), or the box, its place, the radius or the
// tint did: a presented popup blurs its backdrop once, not every frame. Given a digest of
// what lies beneath (DisplayList::digest), a layer made from the same digest is taken
// without drawing the backdrop at all. It holds only the small images (about 1/100 of the
// box's pixels at a 12 pt radius on scale 3).
//
// A partial frame (a retained renderer's damage) repaints only part of the target. A
// layer whose box it does not repaint is kept, neither drawn nor dropped; one it repaints
// in part is painted whole under the frame's clip, from a fresh backdrop, so the pixels
// are those of a full frame.
//
// A square box on whole pixels under a clip made of rectangles (the usual full-screen
// backdrop) is scaled up straight into the target's pixels; any other shape goes through
// cairo's bilinear pattern, clipped to the rounded box. Main thread only, like the
// renderer.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/ui/CGGeometry.h"
#include "platform/ui/PixelRect.h"
#include "platform/ui/UIColor.h"

namespace tilo::platform {

class BackdropBlur {
 public:
  // `canvas`: the frame's pixels (its device space); `redrawn`: those it repaints.
  void beginFrame(const PixelRect& canvas, const PixelRect& redrawn);
  void endFrame();
  // Draws what lies beneath a blur into a context whose user space is the frame's device
  // space (pixels), scaled down to the blur's resolution.
  using Backdrop = std::function<void(cairo_t*)>;
  // Blurs the backdrop under `box` (user space of `cr`) with a Gaussian of `sigma`
  // points, lays `tint` over it and paints it, clipped to the rounded box and replacing
  // what was there. Without a backdrop, the blur is of nothing (the tint alone). False
  // when it painted nothing (a box outside the frame or what it repaints, a target that is
  // not an image, sizes beyond reason).
  bool draw(cairo_t* cr, const CGRect& box, double cornerRadius, double sigma, const RGBA& tint,
            const Backdrop& backdrop, std::uint64_t backdropDigest = 0);

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
    std::uint64_t digest = 0;            // of the backdrop sampled (0: unknown)
    bool used = false;                   // drawn in the current frame
  };

  // A layer from the backdrop drawn small: one that blurred the same samples under `key`
  // if there is one, else one made (reusing the place of a layer of the same key).
  std::vector<Layer>::iterator makeLayer(const Key& key, int smallWidth, int smallHeight,
                                         const std::uint32_t tintChannels[4],
                                         const Backdrop& backdrop, std::uint64_t backdropDigest);

  std::vector<Layer> layers_;
  PixelRect canvas_;
  PixelRect redrawn_;
  std::uint64_t layersMade_ = 0;
};

}  // namespace tilo::platform
