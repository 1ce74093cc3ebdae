// One ad request: created per load and handed unchanged to the load call.
//
//   auto request = GADRequest::create();
//   request->registerAdNetworkExtras(extras);
//   GADInterstitialAd::loadWithAdUnitID(unitId, request, completion);
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "mediation/GADAdNetworkExtras.h"

namespace tilo::mediation {

class GADRequest {
 public:
  static std::shared_ptr<GADRequest> create();

  // Replaces earlier extras of the same class name; null is ignored.
  void registerAdNetworkExtras(std::shared_ptr<GADAdNetworkExtras> extras);
  std::vector<std::shared_ptr<GADAdNetworkExtras>> adNetworkExtras() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<GADAdNetworkExtras>> extras_;
};

}  // namespace tilo::mediation
