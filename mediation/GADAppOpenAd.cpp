#include "mediation/GADAppOpenAd.h"

namespace tilo::mediation {

void GADAppOpenAd::loadWithAdUnitID(std::string adUnitId, std::shared_ptr<GADRequest> request,
                                    LoadCompletion<GADAppOpenAd> completion) {
  load<GADAppOpenAd>("appOpen", std::move(adUnitId), request, std::move(completion));
}

GADAppOpenAd::GADAppOpenAd(std::string adUnitId, AdScript script)
    : GADFullScreenAd("appOpen", std::move(adUnitId), std::move(script)) {}

void GADAppOpenAd::presentFromRootViewController(
    std::shared_ptr<platform::UIViewController> viewController) {
  presentScripted(viewController, nullptr);
}

}  // namespace tilo::mediation
