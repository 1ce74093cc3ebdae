// Insets for each edge of a rectangle, in points: positive values shrink it.
#pragma once

#include "platform/ui/CGGeometry.h"

namespace tilo::platform {

struct UIEdgeInsets {
  double top = 0;
  double left = 0;
  double bottom = 0;
  double right = 0;

  bool operator==(const UIEdgeInsets&) const = default;

  double horizontal() const { return left + right; }
  double vertical() const { return top + bottom; }
  // `rect` with each edge moved inwards by its inset.
  CGRect inset(const CGRect& rect) const {
    return {rect.x() + left, rect.y() + top, rect.width() - left - right,
            rect.height() - top - bottom};
  }
};

}  // namespace tilo::platform
