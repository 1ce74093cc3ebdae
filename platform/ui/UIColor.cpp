#include "platform/ui/UIColor.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "platform/Unicode.h"

namespace tilo::platform {
namespace {

double clampComponent(double value) {
  if (std::isnan(value)) return 0;
  return std::clamp(value, 0.0, 1.0);
}

RGBA clamped(const RGBA& rgba) {
  return {clampComponent(rgba.red), clampComponent(rgba.green), clampComponent(rgba.blue),
          clampComponent(rgba.alpha)};
}

RGBA hex(std::uint32_t rgb) {
  return {((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0, 1.0};
}

int toByte(double component) {
  return static_cast<int>(std::lround(clampComponent(component) * 255.0));
}

}  // namespace

UIColor::UIColor(double red, double green, double blue, double alpha)
    : light_(clamped({red, green, blue, alpha})), dark_(light_) {}

UIColor UIColor::dynamic(RGBA light, RGBA dark) {
  UIColor color;
  color.light_ = clamped(light);
  color.dark_ = clamped(dark);
  return color;
}

std::optional<UIColor> UIColor::fromHex(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
    text.remove_suffix(1);
  }
  if (!text.empty() && text.front() == '#') text.remove_prefix(1);
  if (text.size() != 6 && text.size() != 8) return std::nullopt;
  std::uint32_t value = 0;
  for (char c : text) {
    const int digit = hexDigitValue(c);
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<std::uint32_t>(digit);
  }
  if (text.size() == 6) return fromRGBA(hex(value));
  RGBA rgba = hex(value >> 8);
  rgba.alpha = (value & 0xFF) / 255.0;
  return fromRGBA(rgba);
}

UIColor UIColor::labelColor() {
  return dynamic(hex(0x000000), hex(0xFFFFFF));
}
UIColor UIColor::systemBackgroundColor() {
  return dynamic(hex(0xFFFFFF), hex(0x000000));
}
UIColor UIColor::systemGroupedBackgroundColor() {
  return dynamic(hex(0xF2F2F7), hex(0x000000));
}
UIColor UIColor::secondarySystemBackgroundColor() {
  return dynamic(hex(0xF2F2F7), hex(0x1C1C1E));
}
UIColor UIColor::systemGrayColor() {
  return dynamic(hex(0x8E8E93), hex(0x8E8E93));
}
UIColor UIColor::systemGray3Color() {
  return dynamic(hex(0xC7C7CC), hex(0x48484A));
}
UIColor UIColor::systemRedColor() {
  return dynamic(hex(0xFF3B30), hex(0xFF453A));
}
UIColor UIColor::systemBlueColor() {
  return dynamic(hex(0x007AFF), hex(0x0A84FF));
}
UIColor UIColor::whiteColor() {
  return {1, 1, 1, 1};
}
UIColor UIColor::blackColor() {
  return {0, 0, 0, 1};
}
UIColor UIColor::clearColor() {
  return {0, 0, 0, 0};
}

UIColor UIColor::withAlphaComponent(double alpha) const {
  UIColor color = *this;
  color.light_.alpha = clampComponent(alpha);
  color.dark_.alpha = clampComponent(alpha);
  return color;
}

RGBA UIColor::resolved(UIUserInterfaceStyle style) const {
  return style == UIUserInterfaceStyle::dark ? dark_ : light_;
}

std::string UIColor::hexString(UIUserInterfaceStyle style) const {
  RGBA rgba = resolved(style);
  char text[10];
  std::snprintf(text, sizeof text, "#%02X%02X%02X%02X", toByte(rgba.red), toByte(rgba.green),
                toByte(rgba.blue), toByte(rgba.alpha));
  return text;
}

}  // namespace tilo::platform
