#include "mediation/GADRewardedAd.h"

namespace tilo::mediation {

void GADRewardedAd::loadWithAdUnitID(std::string adUnitId, std::shared_ptr<GADRequest> request,
                                     LoadCompletion<GADRewardedAd> completion) {
  load<GADRewardedAd>("rewarded", std::move(adUnitId), request, std::move(completion));
}

GADRewardedAd::GADRewardedAd(std::string adUnitId, AdScript script)
    : GADFullScreenAd("rewarded", std::move(adUnitId), std::move(script)) {}

GADAdReward GADRewardedAd::adReward() const {
  return script().reward.value_or(GADAdReward{});
}

void GADRewardedAd::presentFromRootViewController(
    std::shared_ptr<platform::UIViewController> viewController,
    std::function<void()> userDidEarnRewardHandler) {
  presentScripted(viewController, std::move(userDidEarnRewardHandler));
}

}  // namespace tilo::mediation
