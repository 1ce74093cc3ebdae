// The system font by size and weight. Text is set in Inter (the fonts-inter package), the
// only family the process loads, so metrics and pixels are the same on every machine.
//
//   UIFont title = UIFont::systemFont(18, UIFontWeight::bold);
//   double line = FontSystem::shared().metrics(title).lineHeight();   // in points
//
// A value only: its metrics come from the fonts, which FontSystem loads.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tilo::platform {

// In order of increasing weight; `name` gives the platform's spelling.
enum class UIFontWeight { ultraLight, thin, light, regular, medium, semibold, bold, heavy, black };

class UIFont {
 public:
  // A size that is not a positive finite number becomes 17, the platform's body size;
  // sizes above 1000 are clipped.
  static UIFont systemFont(double size, UIFontWeight weight = UIFontWeight::regular);
  static UIFont boldSystemFont(double size) { return systemFont(size, UIFontWeight::bold); }

  double pointSize() const { return size_; }
  UIFontWeight weight() const { return weight_; }
  UIFont withSize(double size) const { return systemFont(size, weight_); }
  static const char* familyName() { return "Inter"; }

  // "regular", "semibold"… and back; nullopt for an unknown name.
  static const char* name(UIFontWeight weight);
  static std::optional<UIFontWeight> weightNamed(std::string_view name);
  // The platform's numeric weights (-0.8 ultra light … 0.62 black).
  static double numericWeight(UIFontWeight weight);
  // The weight whose numeric value is closest.
  static UIFontWeight weightNearest(double numericWeight);
  // For example "Inter 17 semibold".
  std::string description() const;

  bool operator==(const UIFont&) const = default;

 private:
  UIFont(double size, UIFontWeight weight) : size_(size), weight_(weight) {}

  double size_ = 17;
  UIFontWeight weight_ = UIFontWeight::regular;
};

}  // namespace tilo::platform
