// The drawing properties of a view's layer: rounded corners, a border, and whether the
// layer clips its content and sublayers (the same switch as the view's clipsToBounds).
//
//   badge->layer().setCornerRadius(10);
//   badge->layer().setMasksToBounds(true);
//
// The background and the border follow the corner radius even without masksToBounds;
// the border is drawn inside the bounds, above the content and the subviews.
#pragma once

#include <algorithm>
#include <cmath>

#include "platform/ui/UIColor.h"

namespace tilo::platform {

class CALayer {
 public:
  double cornerRadius() const { return cornerRadius_; }
  // Negative or not finite counts as 0.
  void setCornerRadius(double radius) { cornerRadius_ = sanitized(radius); }
  double borderWidth() const { return borderWidth_; }
  void setBorderWidth(double width) { borderWidth_ = sanitized(width); }
  // Opaque black by default, as the platform's.
  const UIColor& borderColor() const { return borderColor_; }
  void setBorderColor(const UIColor& color) { borderColor_ = color; }
  bool masksToBounds() const { return masksToBounds_; }
  void setMasksToBounds(bool masks) { masksToBounds_ = masks; }

 private:
  static double sanitized(double value) { return std::isfinite(value) ? std::max(0.0, value) : 0; }

  double cornerRadius_ = 0;
  double borderWidth_ = 0;
  UIColor borderColor_ = UIColor::blackColor();
  bool masksToBounds_ = false;
};

}  // namespace tilo::platform
