// A view tree drawn into pixels it keeps, redrawing only what changed, and the frame it
// publishes for a render thread to copy into the host's buffers.
//
//   RetainedRenderer renderer;
//   renderer.publish(*window, window->scale());      // main thread, e.g. after each pump
//   PixelRect damaged;                               // any thread, e.g. the engine's render
//   renderer.copyChanges(texture, pitch, PixelFormat::bgraPremultiplied, damaged);
//
// publish compares the tree with the last one it drew (DisplayList) and redraws the
// damage, clipped, into the back surface; then, under the lock, the back surface becomes
// the front one that copies read. The surface that comes back was one frame behind: the
// next publish first copies into it what the last one changed. A blurred backdrop is
// made again only when what lies under it changed (BackdropBlur.h). A copy holds the lock
// while it reads, so the main thread never draws into pixels being copied.
//
// The tracked buffer: copyChanges remembers the last buffer it filled (address, stride,
// format, size) and writes there only what was published since; any other buffer gets
// the whole frame, and becomes the tracked one.
#pragma once

#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/ui/DisplayList.h"
#include "platform/ui/PixelFormat.h"
#include "platform/ui/PixelRect.h"

namespace tilo::platform {

class BackdropBlur;
class UIView;
class ViewRenderer;

class RetainedRenderer {
 public:
  RetainedRenderer();
  ~RetainedRenderer();
  RetainedRenderer(const RetainedRenderer&) = delete;
  RetainedRenderer& operator=(const RetainedRenderer&) = delete;

  // Main thread. Lays `root` out, redraws what changed since the last publish at `scale`
  // pixels per point and publishes it. Returns the pixels that changed: the whole canvas
  // the first time and after a resize, empty when nothing changed (or the tree has no
  // pixels, or memory for them ran out: then nothing is published).
  PixelRect publish(UIView& root, double scale);

  enum class CopyResult { copied, nothingPublished, strideTooSmall };
  // Any thread. Writes into `pixels` (the published frame's size, rows `stride` bytes
  // apart) what changed since the last copy into that same buffer; `damaged` says where
  // (empty: nothing was written).
  CopyResult copyChanges(std::uint8_t* pixels, std::size_t stride, PixelFormat format,
                         PixelRect& damaged);
  // Any thread. The whole frame, leaving the tracked buffer as it is.
  CopyResult copyAll(std::uint8_t* pixels, std::size_t stride, PixelFormat format);

  // How many publishes changed pixels (for tests).
  std::uint64_t frameCount() const;
  // The blurred backdrops kept between publishes (for tests). Main thread only.
  const BackdropBlur& backdropBlur() const;
  // Main thread. Lets the surface being drawn into and the blurred backdrops go (a frame's
  // worth of memory): the published frame stays for copies, and the next publish draws its
  // whole frame anew.
  void releaseCaches();
  // Surfaces held, published one included (for tests).
  int surfaceCount() const;

 private:
  struct Surface;
  struct Target {
    const std::uint8_t* pixels = nullptr;
    std::size_t stride = 0;
    PixelFormat format = PixelFormat::rgba;
    int width = 0;
    int height = 0;
    bool operator==(const Target&) const = default;
  };
  void redraw(UIView& root, double scale, double uptime, const PixelRect& damage);

  // Main thread only.
  DisplayList list_;
  DisplayList capture_;  // the frame being compared with list_: its room is reused
  // Draws the damage; keeps the blurred backdrops from frame to frame.
  std::unique_ptr<ViewRenderer> painter_;
  std::unique_ptr<Surface> back_;
  std::unique_ptr<Surface> spare_;  // during a resize, the next back surface
  PixelRect lastDamage_;            // what the front surface has and the back one lacks
  // Guarded by mutex_ (front_ is swapped only by the main thread, which may read it
  // without the lock).
  mutable std::mutex mutex_;
  std::unique_ptr<Surface> front_;
  PixelRect pending_;  // published since the last copy into the tracked buffer
  Target tracked_;
  std::uint64_t frames_ = 0;
};

}  // namespace tilo::platform
