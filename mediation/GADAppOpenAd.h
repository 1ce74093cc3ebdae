// An app-open ad, loaded by ad unit and presented once.
//
//   GADAppOpenAd::loadWithAdUnitID(unitId, GADRequest::create(), [](auto ad, auto error) {
//     if (ad) ad->presentFromRootViewController(nullptr);
//   });
#pragma once

#include "mediation/GADFullScreenAd.h"

namespace tilo::mediation {

class GADAppOpenAd final : public GADFullScreenAd {
 public:
  // Exactly one completion, on the main thread, after the unit's scripted delay.
  static void loadWithAdUnitID(std::string adUnitId, std::shared_ptr<GADRequest> request,
                               LoadCompletion<GADAppOpenAd> completion);
  // Made by loadWithAdUnitID.
  GADAppOpenAd(std::string adUnitId, AdScript script);

  // Does nothing when the ready check refuses.
  void presentFromRootViewController(std::shared_ptr<platform::UIViewController> viewController);
};

}  // namespace tilo::mediation
