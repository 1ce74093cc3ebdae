// Colours: sRGB components in 0…1 with straight (not premultiplied) alpha, either fixed
// or adaptive (one value for the light and one for the dark appearance).
//
//   auto dimmed = UIColor::fromHex("#121416")->withAlphaComponent(0.3);
//   RGBA pixel = UIColor::labelColor().resolved(UIUserInterfaceStyle::dark);  // white
//
// Adaptive colours are resolved when they are drawn or dumped, against the appearance
// of the window the view is in (light when the view is in none).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tilo::platform {

// Raw values as the platform's.
enum class UIUserInterfaceStyle {
  unspecified = 0,  // follows the window (light when there is none)
  light = 1,
  dark = 2,
};

struct RGBA {
  double red = 0;
  double green = 0;
  double blue = 0;
  double alpha = 0;

  bool operator==(const RGBA&) const = default;
};

class UIColor {
 public:
  // Fully transparent black (the clear colour).
  UIColor() = default;
  // Components are clamped into 0…1; NaN becomes 0.
  UIColor(double red, double green, double blue, double alpha = 1.0);
  // An adaptive colour.
  static UIColor dynamic(RGBA light, RGBA dark);
  // "#RRGGBB" or "#RRGGBBAA" (the "#" optional, white space around ignored); nullopt
  // for anything else.
  static std::optional<UIColor> fromHex(std::string_view text);
  static UIColor fromRGBA(const RGBA& rgba) {
    return {rgba.red, rgba.green, rgba.blue, rgba.alpha};
  }

  // The published system colours (light / dark).
  static UIColor labelColor();                      // #000000 / #FFFFFF
  static UIColor systemBackgroundColor();           // #FFFFFF / #000000
  static UIColor systemGroupedBackgroundColor();    // #F2F2F7 / #000000
  static UIColor secondarySystemBackgroundColor();  // #F2F2F7 / #1C1C1E
  static UIColor systemGrayColor();                 // #8E8E93 / #8E8E93
  static UIColor systemGray3Color();                // #C7C7CC / #48484A
  static UIColor systemRedColor();                  // #FF3B30 / #FF453A
  static UIColor systemBlueColor();                 // #007AFF / #0A84FF (the default tint)
  static UIColor whiteColor();
  static UIColor blackColor();
  static UIColor clearColor();

  // The same colour (both variants) with another alpha.
  UIColor withAlphaComponent(double alpha) const;
  bool isDynamic() const { return light_ != dark_; }
  RGBA resolved(UIUserInterfaceStyle style) const;
  // "#RRGGBBAA" of the resolved colour, upper-case hex, components rounded.
  std::string hexString(UIUserInterfaceStyle style) const;

  bool operator==(const UIColor&) const = default;

 private:
  RGBA light_;
  RGBA dark_;
};

}  // namespace tilo::platform
