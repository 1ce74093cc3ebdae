// The ad networks to prepare, in the order they are initialized.
#pragma once

#include <memory>
#include <vector>

#include "Tilo/base/TiloConfiguration.h"
#include "Tilo/networks/ADNetwork.h"

namespace tilo {

// Rebuilt from the configuration on every network initialization.
std::vector<std::shared_ptr<ADNetwork>> makeNetworkList(const TiloConfiguration& configuration);

}  // namespace tilo
