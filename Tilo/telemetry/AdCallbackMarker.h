// One call into a host's listener closure, bracketed by the ad-callback crash marker, so
// that a host crashing inside its own callback is reported with the callback's name:
//
//   withAdCallbackMarker("onAdClicked", info, [&] {
//     if (auto closure = listener->onAdClicked) closure(info);
//   });
//
// The flag is written (while marker checkpoints are enabled) and removed even when the
// host set no closure. Never called while the SDK holds a lock (platform::HeldLockScope):
// the host may call back into the SDK from its callback.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "Tilo/base/TiloAdInfo.h"

namespace tilo {

void withAdCallbackMarker(const std::string& phase, const std::optional<TiloAdInfo>& adInfo,
                          const std::function<void()>& call);

// The bracket a withAdCallbackMarker call on this thread is in, if any. A relay that
// hands the callback on to a host later (the C bridge posts to the main loop) brackets
// that later call with the same phase and ad information:
//
//   auto bracket = currentAdCallback();   // inside the listener closure
//   ... later, on the main thread ...
//   withAdCallbackMarker(bracket->phase, bracket->adInfo, [&] { hostCallback(); });
struct AdCallbackBracket {
  std::string phase;
  std::optional<TiloAdInfo> adInfo;
};
std::optional<AdCallbackBracket> currentAdCallback();

}  // namespace tilo
