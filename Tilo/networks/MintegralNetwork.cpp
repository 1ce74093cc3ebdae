#include "Tilo/networks/MintegralNetwork.h"

#include "mediation/OutsideSdks.h"

namespace tilo {

using namespace mediation;

std::string MintegralNetwork::name() const {
  return "Mintegral";
}

void MintegralNetwork::applyPrivacy(const PrivacySettings& privacy) {
  if (privacy.hasUserConsent) MTGSDK::sharedInstance().setConsentStatus(*privacy.hasUserConsent);
  if (privacy.doNotSell) MTGSDK::sharedInstance().setDoNotTrackStatus(*privacy.doNotSell);
}

}  // namespace tilo
