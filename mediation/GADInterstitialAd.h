// An interstitial ad, loaded by ad unit and presented once.
//
//   GADInterstitialAd::loadWithAdUnitID(unitId, GADRequest::create(), [](auto ad, auto error) {
//     if (ad) ad->presentFromRootViewController(nullptr);
//   });
#pragma once

#include "mediation/GADFullScreenAd.h"

namespace tilo::mediation {

class GADInterstitialAd final : public GADFullScreenAd {
 public:
  // Exactly one completion, on the main thread, after the unit's scripted delay.
  static void loadWithAdUnitID(std::string adUnitId, std::shared_ptr<GADRequest> request,
                               LoadCompletion<GADInterstitialAd> completion);
  // Made by loadWithAdUnitID.
  GADInterstitialAd(std::string adUnitId, AdScript script);

  // Does nothing when the ready check refuses.
  void presentFromRootViewController(std::shared_ptr<platform::UIViewController> viewController);
};

}  // namespace tilo::mediation
