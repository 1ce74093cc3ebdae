// The pixels of encoded images at the size they are drawn, shared by every view that
// draws them.
//
//   auto pixels = ImageRenditionCache::shared().rendition(encoded, 300, 300);
//
// One rendition per image: the largest size asked for so far (a view asking for less is
// drawn from it; one asking for more has the image decoded again at its size, never
// enlarged). At most kMaxEntries renditions and kMaxBytes of pixels, the least recently
// drawn going first; all of them go on a memory warning and when the application enters
// the background (a redraw decodes what it needs again). Any thread.
#pragma once

#include <cairo.h>

#include <cstddef>
#include <list>
#include <memory>
#include <mutex>

#include "platform/Bytes.h"
#include "platform/Reactive.h"

namespace tilo::platform {

class ImageRenditionCache {
 public:
  static constexpr std::size_t kMaxEntries = 16;
  static constexpr std::size_t kMaxBytes = std::size_t{24} << 20;

  static ImageRenditionCache& shared();

  // The pixels of `encoded` (PNG or JPEG) at least `width` x `height`, or the file's size
  // when that is smaller. Null when the bytes do not decode.
  std::shared_ptr<cairo_surface_t> rendition(const std::shared_ptr<const Bytes>& encoded, int width,
                                             int height);
  void clear();
  std::size_t count() const;
  // Pixel bytes held.
  std::size_t bytes() const;

 private:
  ImageRenditionCache() = default;
  struct Entry {
    std::weak_ptr<const Bytes> source;  // identity; expired once every image of it went
    const Bytes* key = nullptr;
    std::shared_ptr<cairo_surface_t> pixels;
    std::size_t bytes = 0;
    int width = 0;
    int height = 0;
  };
  void evictLocked();

  mutable std::mutex mutex_;
  std::list<Entry> entries_;  // most recently drawn first
  std::size_t bytes_ = 0;
  Subscription release_;
};

}  // namespace tilo::platform
