#include "Tilo/base/TiloRevenueInfo.h"

#include "Tilo/base/TiloLogger.h"

namespace tilo {

PrecisionType precisionTypeFromPlatform(int precision) {
  return precision >= 0 && precision <= 3 ? static_cast<PrecisionType>(precision)
                                          : PrecisionType::unknown;
}

TiloRevenueInfo TiloRevenueInfo::fromPlatform(std::optional<platform::Decimal> feeRate,
                                              platform::Decimal value, std::string currency,
                                              int precision) {
  platform::Decimal fee = feeRate.value_or(platform::Decimal());
  // A fee outside 0...1 would turn revenue negative or inflate it: the backend's value is
  // wrong, so none is deducted.
  if (fee < platform::Decimal() || fee > platform::Decimal(1)) {
    log("Fee rate out of range, none deducted: " + fee.description(), TiloLogLevel::error);
    fee = platform::Decimal();
  }
  const platform::Decimal keep = platform::Decimal(1) - fee;
  return {value * keep, std::move(currency), precisionTypeFromPlatform(precision)};
}

}  // namespace tilo
