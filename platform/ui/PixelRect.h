// A rectangle of whole pixels, x and y from the top left: what a render changed, or the
// part of a buffer to copy.
//
//   PixelRect damage = before.united(after).intersected({0, 0, width, height});
#pragma once

#include <algorithm>

namespace tilo::platform {

struct PixelRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;

  bool operator==(const PixelRect&) const = default;
  bool isEmpty() const { return width <= 0 || height <= 0; }
  int maxX() const { return x + width; }
  int maxY() const { return y + height; }
  bool intersects(const PixelRect& other) const {
    return !isEmpty() && !other.isEmpty() && x < other.maxX() && other.x < maxX() &&
           y < other.maxY() && other.y < maxY();
  }
  bool contains(const PixelRect& other) const {
    return other.isEmpty() || (!isEmpty() && x <= other.x && y <= other.y &&
                               other.maxX() <= maxX() && other.maxY() <= maxY());
  }
  // The smallest rectangle holding both; an empty one adds nothing.
  PixelRect united(const PixelRect& other) const {
    if (other.isEmpty()) return isEmpty() ? PixelRect{} : *this;
    if (isEmpty()) return other;
    int left = std::min(x, other.x), top = std::min(y, other.y);
    return {left, top, std::max(maxX(), other.maxX()) - left, std::max(maxY(), other.maxY()) - top};
  }
  // The overlap, or an empty rectangle.
  PixelRect intersected(const PixelRect& other) const {
    if (!intersects(other)) return {};
    int left = std::max(x, other.x), top = std::max(y, other.y);
    return {left, top, std::min(maxX(), other.maxX()) - left, std::min(maxY(), other.maxY()) - top};
  }
  PixelRect grownBy(int pixels) const {
    return isEmpty() ? PixelRect{}
                     : PixelRect{x - pixels, y - pixels, width + 2 * pixels, height + 2 * pixels};
  }
};

}  // namespace tilo::platform
