// The revenue of one paid event.
#pragma once

#include <string>

#include "platform/Decimal.h"

namespace tilo::mediation {

// Precision values 0 to 3: unknown, estimated, publisher provided, exact.
struct GADAdValue {
  platform::Decimal value;
  std::string currencyCode;
  int precision = 0;

  bool operator==(const GADAdValue&) const = default;
};

}  // namespace tilo::mediation
