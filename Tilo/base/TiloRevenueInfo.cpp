#include "Tilo/base/TiloRevenueInfo.h"

#include <algorithm>

namespace tilo {

PrecisionType precisionTypeFromPlatform(int precision) {
  return precision >= 0 && precision <= 3 ? static_cast<PrecisionType>(precision)
                                          : PrecisionType::unknown;
}

TiloRevenueInfo TiloRevenueInfo::fromPlatform(std::optional<platform::Decimal> feeRate,
                                              platform::Decimal value, std::string currency,
                                              int precision) {
  // A fee outside 0...1 would pay out more than was earned, or turn revenue negative: it
  // is held to the nearest end, so the host never reports more than the gross amount.
  const platform::Decimal fee =
      std::clamp(feeRate.value_or(platform::Decimal()), platform::Decimal(), platform::Decimal(1));
  const platform::Decimal keep = platform::Decimal(1) - fee;
  return {value * keep, std::move(currency), precisionTypeFromPlatform(precision)};
}

}  // namespace tilo
