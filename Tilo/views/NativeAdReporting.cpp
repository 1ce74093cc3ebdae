#include "Tilo/views/NativeAdReporting.h"

#include "Tilo/base/TiloLogger.h"
#include "Tilo/telemetry/AdCallbackMarker.h"
#include "Tilo/telemetry/AdLoadTracker.h"
#include "Tilo/telemetry/CrashMarkers.h"
#include "platform/Environment.h"

namespace tilo {

void reportNativeClick(const std::string& unitId, const std::optional<TiloAdInfo>& info,
                       NativeAdEventClosure closure) {
  log("Native Ad clicked " + unitId, TiloLogLevel::debug);
  withAdCallbackMarker("onAdClicked", info, [&] {
    if (closure) closure(info);
  });
}

void reportNativeImpression(const std::string& unitId, const std::optional<TiloAdInfo>& info,
                            NativeAdEventClosure closure) {
  log("Native Ad Impression " + unitId, TiloLogLevel::debug);
  withAdCallbackMarker("onAdImpression", info, [&] {
    if (closure) closure(info);
  });
}

void runTrackedNativeLoad(const std::string& unitId, std::weak_ptr<AdNativeLoadable> loader,
                          TrackedNativeLoadDone done) {
  platform::postBackground([unitId, loader, done = std::move(done)]() mutable {
    if (enableMarkerCheckpoints()) {
      updateAdLoadPhase(unitId, "start");
      updateAdLoadPhase(unitId, "load");
    }
    // The loader talks to the platform on the main thread.
    platform::postToMain([unitId, loader, done = std::move(done)]() mutable {
      auto strong = loader.lock();
      if (!strong) {
        completeAdLoad(unitId);
        done(nullptr, std::nullopt);
        return;
      }
      strong->loadAd([unitId, loader, done](Result<TiloAdNative> result) {
        completeAdLoad(unitId);
        done(loader.lock(), std::move(result));
      });
    });
  });
}

}  // namespace tilo
