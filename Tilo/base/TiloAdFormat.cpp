#include "Tilo/base/TiloAdFormat.h"

#include <array>

namespace tilo {
namespace {

constexpr std::array<std::string_view, 7> kRawValues = {
    "banner", "mrec", "interstitial", "rewarded", "native", "lightPopup", "appOpen"};
constexpr std::array<std::string_view, 7> kAnalyticsNames = {
    "banner", "mrec", "interstitial", "rewarded_video", "native", "light_poup", "app_open"};

}  // namespace

std::string_view rawValue(TiloAdFormat format) {
  return kRawValues[static_cast<std::size_t>(format)];
}

std::optional<TiloAdFormat> tiloAdFormatFromRawValue(std::string_view raw) {
  for (std::size_t i = 0; i < kRawValues.size(); ++i) {
    if (kRawValues[i] == raw) return static_cast<TiloAdFormat>(i);
  }
  return std::nullopt;
}

std::string_view analyticsName(TiloAdFormat format) {
  return kAnalyticsNames[static_cast<std::size_t>(format)];
}

}  // namespace tilo
