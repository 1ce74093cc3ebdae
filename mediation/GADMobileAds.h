// The mediation platform's process-wide entry: request settings and the start that brings
// up the mediated networks' adapters.
//
//   GADMobileAds::sharedInstance().startWithCompletionHandler([](const auto& status) {
//     auto& statuses = status.adapterStatusesByClassName();
//   });
#pragma once

#include <functional>

#include "mediation/GADInitializationStatus.h"
#include "mediation/GADRequestConfiguration.h"

namespace tilo::mediation {

class GADMobileAds {
 public:
  static GADMobileAds& sharedInstance();

  GADRequestConfiguration& requestConfiguration() { return requestConfiguration_; }
  // Reports the adapter states scripted in the ad source's "start", on the main executor.
  void startWithCompletionHandler(std::function<void(const GADInitializationStatus&)> handler);

 private:
  GADRequestConfiguration requestConfiguration_;
};

}  // namespace tilo::mediation
