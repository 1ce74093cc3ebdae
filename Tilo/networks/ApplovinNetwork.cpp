#include "Tilo/networks/ApplovinNetwork.h"

#include "mediation/OutsideSdks.h"

namespace tilo {

using namespace mediation;

std::string ApplovinNetwork::name() const {
  return "Applovin";
}

void ApplovinNetwork::initialize(std::function<void(bool)> completion) {
  ALSdk::shared().settings().setCreativeDebuggerEnabled(false);
  completion(true);
}

void ApplovinNetwork::applyPrivacy(const PrivacySettings& privacy) {
  if (privacy.hasUserConsent) ALPrivacySettings::setHasUserConsent(*privacy.hasUserConsent);
  if (privacy.doNotSell) ALPrivacySettings::setDoNotSell(*privacy.doNotSell);
}

}  // namespace tilo
