// What a view tree draws, view by view, in drawing order: where each visible view paints
// (in whole pixels, clipped as drawn) and a digest of how. Two captures tell which pixels
// a change touched, without drawing either.
//
//   DisplayList before = DisplayList::capture(*window, 3, uptime);
//   label->setText("Install now");
//   PixelRect damage = DisplayList::damage(before, DisplayList::capture(*window, 3, uptime));
//
// Everything the renderer reads goes into the digest: frame and bounds, hidden, alpha
// (with a running transition's), colours resolved for the appearance, the layer, a blur's
// material, the order among siblings, the clips and group opacity of the ancestors, and
// what drawRect reads (UIView::hashDrawnContent). A blur reads what is drawn before it,
// so a change there within its reach damages the whole of it and all it reads; a change
// drawn after it (over it) damages its own pixels only.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/ui/PixelRect.h"
#include "platform/ui/UIColor.h"

namespace tilo::platform {

class UIView;

class DisplayList {
 public:
  // `root` laid out, drawn at `scale` pixels per point, transitions as of `uptime`. The
  // canvas is the root's pixel size.
  static DisplayList capture(const UIView& root, double scale, double uptime);
  // The same into `list`, whose room is kept: a renderer that captures every frame into
  // the same two lists allocates only when its tree grows.
  static void capture(const UIView& root, double scale, double uptime, DisplayList& list);
  // The pixels that differ between the two drawings (their bounding box), grown to cover
  // every blur they reach. Two captures of different canvases differ everywhere.
  static PixelRect damage(const DisplayList& before, const DisplayList& after);

  // One digest of what `root` draws (as capture would see it, colours resolved for
  // `appearance`) before `stop` in drawing order, or of all of it without `stop`: equal
  // digests draw equal pixels. `blurs`, when given, learns whether a blur is among what
  // was digested.
  static std::uint64_t digest(const UIView& root, double scale, double uptime,
                              UIUserInterfaceStyle appearance, const UIView* stop = nullptr,
                              bool* blurs = nullptr);

  const PixelRect& canvas() const { return canvas_; }
  std::size_t size() const { return entries_.size(); }

 private:
  struct Entry {
    std::uint64_t serial;  // the view's, never reused
    PixelRect extent;      // where it paints
    std::uint64_t digest;
    PixelRect reach;  // blurs only: the pixels it reads, beyond its extent
  };
  struct Walk;

  void visit(const UIView& view, const Walk& parent, std::size_t index, bool isRoot);

  PixelRect canvas_;
  double scale_ = 1;
  double uptime_ = 0;
  std::vector<Entry> entries_;
  const UIView* stop_ = nullptr;  // visits end at this view
  bool stopped_ = false;
};

}  // namespace tilo::platform
