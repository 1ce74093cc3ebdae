#include "Tilo/networks/AdMobNetwork.h"

#include "mediation/GADMobileAds.h"

namespace tilo {

using namespace mediation;

std::string AdMobNetwork::name() const {
  return "AdMob";
}

void AdMobNetwork::initialize(std::function<void(bool)> completion) {
  GADMobileAds::sharedInstance().startWithCompletionHandler(
      [completion = std::move(completion)](const GADInitializationStatus& status) {
        const auto& statuses = status.adapterStatusesByClassName();
        const auto platform = statuses.find("GADMobileAds");
        completion(platform != statuses.end() && platform->second.state == GADAdapterStatus::ready);
      });
}

void AdMobNetwork::applyPrivacy(const PrivacySettings& privacy) {
  if (privacy.isChildDirected) {
    GADMobileAds::sharedInstance().requestConfiguration().setTagForChildDirectedTreatment(
        privacy.isChildDirected);
  }
}

}  // namespace tilo
