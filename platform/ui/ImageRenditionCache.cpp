#include "platform/ui/ImageRenditionCache.h"

#include <algorithm>
#include <string>

#include "platform/NotificationCenter.h"
#include "platform/ui/ImageDecoder.h"

namespace tilo::platform {

ImageRenditionCache& ImageRenditionCache::shared() {
  // Kept for the process: views on any thread may draw until the very end.
  static ImageRenditionCache* cache = [] {
    auto* made = new ImageRenditionCache();
    made->release_ = NotificationCenter::defaultCenter().addCacheReleaseObserver(
        [] { ImageRenditionCache::shared().clear(); });
    return made;
  }();
  return *cache;
}

std::shared_ptr<cairo_surface_t> ImageRenditionCache::rendition(
    const std::shared_ptr<const Bytes>& encoded, int width, int height) {
  if (!encoded) return nullptr;
  width = std::max(1, width);
  height = std::max(1, height);
  {
    std::lock_guard lock(mutex_);
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      if (it->key != encoded.get() || it->source.expired()) continue;
      if (it->width >= width && it->height >= height) {
        entries_.splice(entries_.begin(), entries_, it);
        return it->pixels;
      }
      // Larger than held: decode at the largest size either asked for.
      width = std::max(width, it->width);
      height = std::max(height, it->height);
      break;
    }
  }
  std::string error;
  auto pixels = ImageDecoder::decode(*encoded, width, height, error);  // outside the lock
  if (!pixels) return nullptr;
  Entry entry;
  entry.source = encoded;
  entry.key = encoded.get();
  entry.pixels = pixels;
  // What was asked (the pixels are that, or the file's size when smaller): asking again
  // for as much finds it.
  entry.width = width;
  entry.height = height;
  entry.bytes = static_cast<std::size_t>(cairo_image_surface_get_stride(pixels.get())) *
                static_cast<std::size_t>(cairo_image_surface_get_height(pixels.get()));
  std::lock_guard lock(mutex_);
  for (auto it = entries_.begin(); it != entries_.end();) {
    if (it->key == encoded.get() || it->source.expired()) {
      bytes_ -= it->bytes;
      it = entries_.erase(it);
    } else {
      ++it;
    }
  }
  bytes_ += entry.bytes;
  entries_.push_front(std::move(entry));
  evictLocked();
  return pixels;
}

void ImageRenditionCache::evictLocked() {
  // The newest stays even alone over the bound: it is being drawn.
  while (entries_.size() > 1 && (entries_.size() > kMaxEntries || bytes_ > kMaxBytes)) {
    bytes_ -= entries_.back().bytes;
    entries_.pop_back();
  }
}

void ImageRenditionCache::clear() {
  std::list<Entry> gone;
  {
    std::lock_guard lock(mutex_);
    gone.swap(entries_);
    bytes_ = 0;
  }
}

std::size_t ImageRenditionCache::count() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

std::size_t ImageRenditionCache::bytes() const {
  std::lock_guard lock(mutex_);
  return bytes_;
}

}  // namespace tilo::platform
