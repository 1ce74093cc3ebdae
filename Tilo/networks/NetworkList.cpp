#include "Tilo/networks/NetworkList.h"

#include "Tilo/networks/APSNetwork.h"
#include "Tilo/networks/AdMobNetwork.h"
#include "Tilo/networks/ApplovinNetwork.h"
#include "Tilo/networks/ChartboostNetwork.h"
#include "Tilo/networks/FyberNetwork.h"
#include "Tilo/networks/InMobiNetwork.h"
#include "Tilo/networks/IronSourceNetwork.h"
#include "Tilo/networks/MetaNetwork.h"
#include "Tilo/networks/MintegralNetwork.h"
#include "Tilo/networks/PangleNetwork.h"
#include "Tilo/networks/VungleNetwork.h"

namespace tilo {

std::vector<std::shared_ptr<ADNetwork>> makeNetworkList(const TiloConfiguration& configuration) {
  std::vector<std::shared_ptr<ADNetwork>> networks{
      std::make_shared<PangleNetwork>(),     std::make_shared<InMobiNetwork>(),
      std::make_shared<ChartboostNetwork>(), std::make_shared<ApplovinNetwork>(),
      std::make_shared<IronSourceNetwork>(), std::make_shared<VungleNetwork>(),
      std::make_shared<MintegralNetwork>(),  std::make_shared<FyberNetwork>(),
      std::make_shared<MetaNetwork>(),
  };
  if (configuration.apsAppID) {
    networks.push_back(
        std::make_shared<APSNetwork>(*configuration.apsAppID, configuration.isEnabledAPSTestMode));
  }
  // The mediation platform starts last, once every network it mediates is prepared.
  networks.push_back(std::make_shared<AdMobNetwork>());
  return networks;
}

}  // namespace tilo
