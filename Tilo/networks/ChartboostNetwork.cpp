#include "Tilo/networks/ChartboostNetwork.h"

#include "mediation/OutsideSdks.h"

namespace tilo {

using namespace mediation;

std::string ChartboostNetwork::name() const {
  return "Chartboost";
}

void ChartboostNetwork::applyPrivacy(const PrivacySettings& privacy) {
  if (privacy.hasUserConsent) {
    Chartboost::addDataUseConsent(
        CHBGDPRDataUseConsent::gdprConsent(*privacy.hasUserConsent ? 1 : 0));
  }
  if (privacy.doNotSell) {
    // CCPA consent 0 opts out of sale.
    Chartboost::addDataUseConsent(CHBCCPADataUseConsent::ccpaConsent(*privacy.doNotSell ? 0 : 1));
  }
}

}  // namespace tilo
