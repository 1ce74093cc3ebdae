#include "Tilo/ads/TiloRevenueInfo.h"

namespace tilo {

PrecisionType precisionTypeFromPlatform(int precision) {
  return precision >= 0 && precision <= 3 ? static_cast<PrecisionType>(precision)
                                          : PrecisionType::unknown;
}

TiloRevenueInfo TiloRevenueInfo::fromPlatform(std::optional<platform::Decimal> feeRate,
                                              platform::Decimal value, std::string currency,
                                              int precision) {
  const platform::Decimal keep = platform::Decimal(1) - feeRate.value_or(platform::Decimal());
  return {value * keep, std::move(currency), precisionTypeFromPlatform(precision)};
}

}  // namespace tilo
