// The reward a rewarded ad grants once the user earned it.
#pragma once

#include <string>

#include "platform/Decimal.h"

namespace tilo::mediation {

struct GADAdReward {
  platform::Decimal amount;
  std::string type;

  bool operator==(const GADAdReward&) const = default;
};

}  // namespace tilo::mediation
