// The seven ad formats. Raw values equal the case names.
#pragma once

#include <optional>
#include <string_view>

#include "Tilo/base/TiloExport.h"

namespace tilo {

enum class TiloAdFormat { banner, mrec, interstitial, rewarded, native, lightPopup, appOpen };

// "banner", "mrec", "interstitial", "rewarded", "native", "lightPopup", "appOpen".
TILO_EXPORT std::string_view rawValue(TiloAdFormat format);
TILO_EXPORT std::optional<TiloAdFormat> tiloAdFormatFromRawValue(std::string_view raw);
// How analytics spell formats: "rewarded_video", "light_poup", "app_open", else the raw value.
TILO_EXPORT std::string_view analyticsName(TiloAdFormat format);

}  // namespace tilo
