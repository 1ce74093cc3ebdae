#include "platform/ui/UIFont.h"

#include <cmath>
#include <cstdio>
#include <iterator>

namespace tilo::platform {
namespace {

struct WeightInfo {
  UIFontWeight weight;
  const char* name;
  double numeric;
};

constexpr WeightInfo kWeights[] = {
    {UIFontWeight::ultraLight, "ultraLight", -0.8},
    {UIFontWeight::thin, "thin", -0.6},
    {UIFontWeight::light, "light", -0.4},
    {UIFontWeight::regular, "regular", 0.0},
    {UIFontWeight::medium, "medium", 0.23},
    {UIFontWeight::semibold, "semibold", 0.3},
    {UIFontWeight::bold, "bold", 0.4},
    {UIFontWeight::heavy, "heavy", 0.56},
    {UIFontWeight::black, "black", 0.62},
};

}  // namespace

UIFont UIFont::systemFont(double size, UIFontWeight weight) {
  if (!std::isfinite(size) || size <= 0) size = 17;
  if (size > 1000) size = 1000;
  return {size, weight};
}

const char* UIFont::name(UIFontWeight weight) {
  for (const auto& info : kWeights) {
    if (info.weight == weight) return info.name;
  }
  return "regular";
}

std::optional<UIFontWeight> UIFont::weightNamed(std::string_view name) {
  for (const auto& info : kWeights) {
    if (name == info.name) return info.weight;
  }
  return std::nullopt;
}

double UIFont::numericWeight(UIFontWeight weight) {
  for (const auto& info : kWeights) {
    if (info.weight == weight) return info.numeric;
  }
  return 0;
}

UIFontWeight UIFont::weightNearest(double numeric) {
  const WeightInfo* best = &kWeights[3];
  for (const auto& info : kWeights) {
    if (std::fabs(info.numeric - numeric) < std::fabs(best->numeric - numeric)) best = &info;
  }
  return best->weight;
}

std::string UIFont::description() const {
  char size[32];
  std::snprintf(size, sizeof size, "%g", size_);
  return std::string(familyName()) + " " + size + " " + name(weight_);
}

}  // namespace tilo::platform
