#include "mediation/GADMobileAds.h"

#include "mediation/AdSource.h"
#include "mediation/CallRecorder.h"
#include "mediation/TestCreatives.h"
#include "mediation/demand/PrivacySignals.h"
#include "platform/Environment.h"
#include "platform/ui/FirstWindow.h"

namespace tilo::mediation {

GADMobileAds& GADMobileAds::sharedInstance() {
  static GADMobileAds instance;
  return instance;
}

void GADMobileAds::startWithCompletionHandler(
    std::function<void(const GADInitializationStatus&)> handler) {
  CallRecorder::shared().record("GADMobileAds", "startWithCompletionHandler:");
  // Every network heard the host's choices before the platform starts.
  demand::PrivacySignals::shared().commit();
  std::map<std::string, GADAdapterStatus> statuses;
  for (const auto& [name, ready] : AdSource::shared().startStates()) {
    statuses[name] = ready ? GADAdapterStatus{GADAdapterStatus::ready, "Ready", 0}
                           : GADAdapterStatus{GADAdapterStatus::notReady, "Not ready", 0};
  }
  // As a network would, it readies what its first ad needs off the main thread, once the
  // host has a window to show it in: a host that has none yet keeps the graphics stack out.
  platform::whenAWindowExists([] {
    platform::Environment::current().backgroundExecutor(platform::TaskPriority::utility)->post([] {
      TestCreatives::warmUp();
    });
  });
  platform::postToMain([handler = std::move(handler), status = GADInitializationStatus(statuses)] {
    if (handler) handler(status);
  });
}

}  // namespace tilo::mediation
