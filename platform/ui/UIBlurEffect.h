// A blur material for UIVisualEffectView: how far what lies beneath is blurred and the
// tint laid over it, per style and appearance.
//
//   auto blur = UIVisualEffectView::create(UIBlurEffect::effectWithStyle(
//       UIBlurEffectStyle::systemUltraThinMaterial));
//
// The radii and tints approximate the platform's materials; they are not its exact
// recipes.
#pragma once

#include <memory>

#include "platform/ui/UIColor.h"

namespace tilo::platform {

// Raw values as the platform's.
enum class UIBlurEffectStyle {
  extraLight = 0,
  light = 1,
  dark = 2,
  regular = 4,
  prominent = 5,
  systemUltraThinMaterial = 6,
  systemThinMaterial = 7,
  systemMaterial = 8,
  systemThickMaterial = 9,
  systemChromeMaterial = 10,
  systemUltraThinMaterialLight = 11,
  systemThinMaterialLight = 12,
  systemMaterialLight = 13,
  systemThickMaterialLight = 14,
  systemChromeMaterialLight = 15,
  systemUltraThinMaterialDark = 16,
  systemThinMaterialDark = 17,
  systemMaterialDark = 18,
  systemThickMaterialDark = 19,
  systemChromeMaterialDark = 20,
};

class UIBlurEffect {
 public:
  static std::shared_ptr<UIBlurEffect> effectWithStyle(UIBlurEffectStyle style) {
    return std::make_shared<UIBlurEffect>(style);
  }
  explicit UIBlurEffect(UIBlurEffectStyle style) : style_(style) {}

  UIBlurEffectStyle style() const { return style_; }
  // Blur radius in points (the standard deviation of the Gaussian it approximates).
  double blurRadius() const;
  // The tint over the blur (adaptive unless the style fixes the appearance).
  UIColor tintColor() const;

 private:
  UIBlurEffectStyle style_;
};

}  // namespace tilo::platform
