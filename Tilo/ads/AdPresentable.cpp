#include "Tilo/ads/AdPresentable.h"

#include "Tilo/telemetry/CrashMarkers.h"

namespace tilo {

void showWithCrashMarker(AdPresentable& presenter,
                         const std::shared_ptr<platform::UIViewController>& viewController) {
  markAdShow(presenter.adInfo());
  presenter.show(viewController);
  clearMarker(CrashMarkerCheckpoint::adShowCrash);
}

}  // namespace tilo
