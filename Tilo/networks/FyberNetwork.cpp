#include "Tilo/networks/FyberNetwork.h"

#include "mediation/OutsideSdks.h"

namespace tilo {

using namespace mediation;

std::string FyberNetwork::name() const {
  return "Fyber";
}

void FyberNetwork::applyPrivacy(const PrivacySettings& privacy) {
  auto& core = IASDKCore::sharedInstance();
  if (privacy.hasUserConsent) core.setGDPRConsent(*privacy.hasUserConsent);
  if (privacy.gdprConsentString) core.setGDPRConsentString(*privacy.gdprConsentString);
  if (privacy.ccpaString) core.setCCPAString(*privacy.ccpaString);
}

}  // namespace tilo
