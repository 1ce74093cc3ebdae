// A rewarded ad: presented once, it grants its reward through the earn handler.
//
//   GADRewardedAd::loadWithAdUnitID(unitId, GADRequest::create(), [](auto ad, auto error) {
//     if (ad) ad->presentFromRootViewController(nullptr, [ad] { grant(ad->adReward()); });
//   });
#pragma once

#include "mediation/GADAdReward.h"
#include "mediation/GADFullScreenAd.h"
#include "mediation/GADServerSideVerificationOptions.h"

namespace tilo::mediation {

class GADRewardedAd final : public GADFullScreenAd {
 public:
  // Exactly one completion, on the main thread, after the unit's scripted delay.
  static void loadWithAdUnitID(std::string adUnitId, std::shared_ptr<GADRequest> request,
                               LoadCompletion<GADRewardedAd> completion);
  // Made by loadWithAdUnitID.
  GADRewardedAd(std::string adUnitId, AdScript script);

  // The scripted reward; amount 0 and no type when the script grants none.
  GADAdReward adReward() const;
  const std::optional<GADServerSideVerificationOptions>& serverSideVerificationOptions() const {
    return serverSideVerificationOptions_;
  }
  void setServerSideVerificationOptions(std::optional<GADServerSideVerificationOptions> options) {
    serverSideVerificationOptions_ = std::move(options);
  }

  // Does nothing when the ready check refuses. The handler runs once the user earned the
  // reward, after the impression and before the dismissal.
  void presentFromRootViewController(std::shared_ptr<platform::UIViewController> viewController,
                                     std::function<void()> userDidEarnRewardHandler);

 private:
  std::optional<GADServerSideVerificationOptions> serverSideVerificationOptions_;
};

}  // namespace tilo::mediation
