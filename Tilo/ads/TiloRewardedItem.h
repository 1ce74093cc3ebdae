// What a rewarded ad granted.
#pragma once

#include <string>

#include "Tilo/core/TiloExport.h"

namespace tilo {

struct TILO_EXPORT TiloRewardedItem {
  int amount = 0;
  std::string rewardType;

  bool operator==(const TiloRewardedItem&) const = default;
};

}  // namespace tilo
