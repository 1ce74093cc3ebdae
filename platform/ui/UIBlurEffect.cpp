#include "platform/ui/UIBlurEffect.h"

namespace tilo::platform {
namespace {

// Thickness 0 (ultra thin) … 4 (chrome); fixed appearance or adaptive.
struct Material {
  int thickness;
  int appearance;  // 0 adaptive, 1 light, 2 dark
};

Material material(UIBlurEffectStyle style) {
  int raw = static_cast<int>(style);
  if (raw >= 6 && raw <= 10) return {raw - 6, 0};
  if (raw >= 11 && raw <= 15) return {raw - 11, 1};
  if (raw >= 16 && raw <= 20) return {raw - 16, 2};
  switch (style) {
    case UIBlurEffectStyle::extraLight:
      return {3, 1};
    case UIBlurEffectStyle::light:
      return {2, 1};
    case UIBlurEffectStyle::dark:
      return {2, 2};
    case UIBlurEffectStyle::prominent:
      return {3, 0};
    default:
      return {2, 0};
  }
}

}  // namespace

double UIBlurEffect::blurRadius() const {
  static constexpr double kRadius[] = {12, 16, 20, 24, 28};
  return kRadius[material(style_).thickness];
}

UIColor UIBlurEffect::tintColor() const {
  static constexpr double kAlpha[] = {0.25, 0.45, 0.6, 0.75, 0.8};
  Material m = material(style_);
  double alpha = kAlpha[m.thickness];
  RGBA light{0.97, 0.97, 0.98, alpha};
  RGBA dark{0.08, 0.08, 0.09, alpha};
  if (m.appearance == 1) return UIColor::fromRGBA(light);
  if (m.appearance == 2) return UIColor::fromRGBA(dark);
  return UIColor::dynamic(light, dark);
}

}  // namespace tilo::platform
