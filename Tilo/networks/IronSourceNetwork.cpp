#include "Tilo/networks/IronSourceNetwork.h"

#include "mediation/OutsideSdks.h"

namespace tilo {

using namespace mediation;

std::string IronSourceNetwork::name() const {
  return "IronSource";
}

void IronSourceNetwork::applyPrivacy(const PrivacySettings& privacy) {
  if (privacy.hasUserConsent) IronSource::setConsent(*privacy.hasUserConsent);
  if (privacy.doNotSell)
    IronSource::setMetaDataWithKey("do_not_sell", *privacy.doNotSell ? "YES" : "NO");
}

}  // namespace tilo
