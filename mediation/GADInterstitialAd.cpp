#include "mediation/GADInterstitialAd.h"

namespace tilo::mediation {

void GADInterstitialAd::loadWithAdUnitID(std::string adUnitId, std::shared_ptr<GADRequest> request,
                                         LoadCompletion<GADInterstitialAd> completion) {
  load<GADInterstitialAd>("interstitial", std::move(adUnitId), request, std::move(completion));
}

GADInterstitialAd::GADInterstitialAd(std::string adUnitId, AdScript script)
    : GADFullScreenAd("interstitial", std::move(adUnitId), std::move(script)) {}

void GADInterstitialAd::presentFromRootViewController(
    std::shared_ptr<platform::UIViewController> viewController) {
  presentScripted(viewController, nullptr);
}

}  // namespace tilo::mediation
