#include "tools/demo/DemoFormat.h"

#include <array>
#include <utility>

namespace tilo::demo {
namespace {

constexpr std::array<std::pair<DemoFormat, std::string_view>, 8> kNames = {{
    {DemoFormat::banner, "banner"},
    {DemoFormat::mrec, "mrec"},
    {DemoFormat::interstitial, "interstitial"},
    {DemoFormat::rewarded, "rewarded"},
    {DemoFormat::native, "native"},
    {DemoFormat::lightPopup, "lightPopup"},
    {DemoFormat::lineBanner, "lineBanner"},
    {DemoFormat::appOpen, "appOpen"},
}};

}  // namespace

std::string_view demoFormatName(DemoFormat format) {
  for (const auto& [value, name] : kNames) {
    if (value == format) return name;
  }
  return "unknown";
}

std::optional<DemoFormat> demoFormatNamed(std::string_view name) {
  for (const auto& [value, known] : kNames) {
    if (known == name) return value;
  }
  return std::nullopt;
}

std::string_view backendUnitType(DemoFormat format) {
  return format == DemoFormat::lineBanner ? "native" : demoFormatName(format);
}

const std::vector<DemoFormat>& everyDemoFormat() {
  static const std::vector<DemoFormat> formats = {
      DemoFormat::interstitial, DemoFormat::rewarded,   DemoFormat::appOpen,
      DemoFormat::banner,       DemoFormat::mrec,       DemoFormat::native,
      DemoFormat::lineBanner,   DemoFormat::lightPopup,
  };
  return formats;
}

}  // namespace tilo::demo
