#include "Tilo/telemetry/AdCallbackMarker.h"

#include <cassert>
#include <utility>

#include "Tilo/telemetry/CrashMarkers.h"
#include "platform/Environment.h"

namespace tilo {
namespace {
thread_local const AdCallbackBracket* innermostBracket = nullptr;
}  // namespace

void withAdCallbackMarker(const std::string& phase, const std::optional<TiloAdInfo>& adInfo,
                          const std::function<void()>& call) {
  assert(!platform::isHoldingLock() && "a host callback under an SDK lock");
  markAdCallback(phase, adInfo);
  const AdCallbackBracket bracket{phase, adInfo};
  const AdCallbackBracket* outer = std::exchange(innermostBracket, &bracket);
  struct Restore {
    const AdCallbackBracket* outer;
    ~Restore() {
      innermostBracket = outer;
      clearMarker(CrashMarkerCheckpoint::adCallback);
    }
  } restore{outer};
  call();
}

std::optional<AdCallbackBracket> currentAdCallback() {
  if (!innermostBracket) return std::nullopt;
  return *innermostBracket;
}

}  // namespace tilo
