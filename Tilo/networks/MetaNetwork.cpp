#include "Tilo/networks/MetaNetwork.h"

#include "mediation/OutsideSdks.h"

namespace tilo {

using namespace mediation;

int MetaNetwork::fbLogLevel(TiloLogLevel level) {
  switch (level) {
    case TiloLogLevel::off:
      return 0;
    case TiloLogLevel::error:
      return 2;
    case TiloLogLevel::debug:
      return 6;
  }
  return 0;
}

std::string MetaNetwork::name() const {
  return "Meta";
}

void MetaNetwork::initialize(std::function<void(bool)> completion) {
  FBAdSettings::setLogLevel(fbLogLevel(currentLogLevel()));
  completion(true);
}

void MetaNetwork::applyPrivacy(const PrivacySettings& privacy) {
  FBAdSettings::setAdvertiserTrackingEnabled(privacy.isTrackingAuthorized);
}

}  // namespace tilo
