#include "Tilo/networks/InMobiNetwork.h"

#include "Tilo/base/TiloLogger.h"
#include "mediation/OutsideSdks.h"

namespace tilo {

using namespace mediation;

std::string InMobiNetwork::name() const {
  return "InMobi";
}

void InMobiNetwork::initialize(std::function<void(bool)> completion) {
  // InMobi's levels (none, error, debug) line up with ours by raw value.
  IMSdk::setLogLevel(static_cast<int>(currentLogLevel()));
  completion(true);
}

void InMobiNetwork::applyPrivacy(const PrivacySettings& privacy) {
  if (!privacy.hasUserConsent) return;
  GADMInMobiConsent::updateGDPRConsent(
      {{"gdpr", "1"},
       {IMCommonConstants::IM_GDPR_CONSENT_AVAILABLE, *privacy.hasUserConsent ? "true" : "false"}});
}

}  // namespace tilo
