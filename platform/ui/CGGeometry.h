// Points, sizes and rectangles in points (1 point = `scale` pixels of a window).
//
//   CGRect card{{20, 100}, {350, 420}};
//   if (card.contains({30, 120})) { ... }
//   CGRect visible = card.intersection(window->bounds());
//
// Rectangles are kept standardized by their users (non-negative sizes); the helpers
// treat a rectangle with a negative or NaN size as empty.
#pragma once

#include <algorithm>
#include <cmath>

namespace tilo::platform {

struct CGPoint {
  double x = 0;
  double y = 0;

  bool operator==(const CGPoint&) const = default;
  CGPoint operator+(const CGPoint& other) const { return {x + other.x, y + other.y}; }
  CGPoint operator-(const CGPoint& other) const { return {x - other.x, y - other.y}; }
};

struct CGSize {
  double width = 0;
  double height = 0;

  bool operator==(const CGSize&) const = default;
};

struct CGRect {
  CGPoint origin;
  CGSize size;

  CGRect() = default;
  CGRect(CGPoint origin, CGSize size) : origin(origin), size(size) {}
  CGRect(double x, double y, double width, double height) : origin{x, y}, size{width, height} {}

  bool operator==(const CGRect&) const = default;

  double x() const { return origin.x; }
  double y() const { return origin.y; }
  double width() const { return size.width; }
  double height() const { return size.height; }
  double minX() const { return origin.x; }
  double minY() const { return origin.y; }
  double maxX() const { return origin.x + size.width; }
  double maxY() const { return origin.y + size.height; }
  double midX() const { return origin.x + size.width / 2; }
  double midY() const { return origin.y + size.height / 2; }

  // No area, or a size that is negative or not a number.
  bool isEmpty() const { return !(size.width > 0) || !(size.height > 0); }
  // Half-open: the left and top edges belong to the rectangle, the right and bottom not.
  bool contains(const CGPoint& point) const {
    return point.x >= minX() && point.x < maxX() && point.y >= minY() && point.y < maxY();
  }
  // Overlap with positive area.
  bool intersects(const CGRect& other) const {
    return !isEmpty() && !other.isEmpty() && minX() < other.maxX() && other.minX() < maxX() &&
           minY() < other.maxY() && other.minY() < maxY();
  }
  // The overlap, or an empty rectangle at the origin.
  CGRect intersection(const CGRect& other) const {
    if (!intersects(other)) return {};
    double left = std::max(minX(), other.minX());
    double top = std::max(minY(), other.minY());
    return {left, top, std::min(maxX(), other.maxX()) - left, std::min(maxY(), other.maxY()) - top};
  }
  CGRect offsetBy(double dx, double dy) const { return {x() + dx, y() + dy, width(), height()}; }
  CGRect insetBy(double dx, double dy) const {
    return {x() + dx, y() + dy, width() - 2 * dx, height() - 2 * dy};
  }
  bool isFinite() const {
    return std::isfinite(origin.x) && std::isfinite(origin.y) && std::isfinite(size.width) &&
           std::isfinite(size.height);
  }
};

}  // namespace tilo::platform
