#include "Tilo/networks/VungleNetwork.h"

#include "mediation/OutsideSdks.h"

namespace tilo {

using namespace mediation;

std::string VungleNetwork::name() const {
  return "Vungle";
}

void VungleNetwork::applyPrivacy(const PrivacySettings& privacy) {
  if (privacy.hasUserConsent) VunglePrivacySettings::setGDPRStatus(*privacy.hasUserConsent);
  if (privacy.doNotSell) VunglePrivacySettings::setCCPAStatus(!*privacy.doNotSell);
}

}  // namespace tilo
