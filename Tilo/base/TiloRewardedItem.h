// What a rewarded ad granted.
#pragma once

#include <cstdint>
#include <string>

#include "Tilo/base/TiloExport.h"

namespace tilo {

struct TILO_EXPORT TiloRewardedItem {
  // The platform's decimal amount truncated toward zero; clamped (and logged) when it does
  // not fit in 64 bits.
  std::int64_t amount = 0;
  std::string rewardType;

  bool operator==(const TiloRewardedItem&) const = default;
};

}  // namespace tilo
