// The description of a loaded ad that listeners, analytics and plugins receive.
#pragma once

#include <optional>
#include <string>

#include "Tilo/base/TiloAdFormat.h"

namespace tilo {

struct TiloAdInfo {
  TiloAdFormat adFormat;
  std::string adUnitId;                  // the SDK ad-unit identifier (tiloAdUnitId)
  std::optional<double> latency;         // milliseconds
  std::optional<std::string> adNetwork;  // the network that served the ad
};

}  // namespace tilo
