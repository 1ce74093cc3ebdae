// What tilo-demo can show. Most are SDK ad formats; the line banner is a template over a
// native unit and has no format of its own, so the demo keeps its own list.
//
//   DemoFormat format = demoFormatNamed("lineBanner");   // std::nullopt for unknown names
//   demoFormatName(format);                              // "lineBanner"
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tilo::demo {

enum class DemoFormat {
  banner,
  mrec,
  interstitial,
  rewarded,
  native,
  lightPopup,
  lineBanner,
  appOpen
};

std::string_view demoFormatName(DemoFormat format);
std::optional<DemoFormat> demoFormatNamed(std::string_view name);
// The unit type the backend records for the format's unit ("native" for the line banner).
std::string_view backendUnitType(DemoFormat format);
// Every format, in the order the demo runs them: full screen first, then the views.
const std::vector<DemoFormat>& everyDemoFormat();

}  // namespace tilo::demo
