#include "Tilo/networks/APSNetwork.h"

#include "mediation/OutsideSdks.h"

namespace tilo {

using namespace mediation;

int APSNetwork::apsLogLevel(TiloLogLevel level) {
  switch (level) {
    case TiloLogLevel::off:
      return 7;
    case TiloLogLevel::error:
      return 5;
    case TiloLogLevel::debug:
      return 0;
  }
  return 7;
}

std::string APSNetwork::name() const {
  return "APS";
}

void APSNetwork::initialize(std::function<void(bool)> completion) {
  APSInitConfig config;
  config.setMraidPolicy(0);
  config.setUseGeolocation(true);
  config.setTestMode(testMode_);
  config.setLogLevel(apsLogLevel(currentLogLevel()));
  APS::initializeWithAppKey(appKey_, config,
                            [completion = std::move(completion)](auto) { completion(true); });
}

}  // namespace tilo
