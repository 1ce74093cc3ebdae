// One call into a host's listener closure, bracketed by the ad-callback crash marker, so
// that a host crashing inside its own callback is reported with the callback's name:
//
//   withAdCallbackMarker("onAdClicked", info, [&] {
//     if (auto closure = listener->onAdClicked) closure(info);
//   });
//
// The flag is written (while marker checkpoints are enabled) and removed even when the
// host set no closure.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "Tilo/ads/TiloAdInfo.h"

namespace tilo {

void withAdCallbackMarker(const std::string& phase, const std::optional<TiloAdInfo>& adInfo,
                          const std::function<void()>& call);

}  // namespace tilo
