#include "Tilo/telemetry/AdCallbackMarker.h"

#include "Tilo/telemetry/CrashMarkers.h"

namespace tilo {

void withAdCallbackMarker(const std::string& phase, const std::optional<TiloAdInfo>& adInfo,
                          const std::function<void()>& call) {
  markAdCallback(phase, adInfo);
  call();
  clearMarker(CrashMarkerCheckpoint::adCallback);
}

}  // namespace tilo
