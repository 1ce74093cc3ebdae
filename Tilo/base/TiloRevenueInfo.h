// Revenue of one paid event after the publisher's fee.
//
//   auto info = TiloRevenueInfo::fromPlatform(item.feeRate, *Decimal::fromString("0.0125"),
//                                             "USD", 3);   // fee 0.15 -> value 0.010625
#pragma once

#include <optional>
#include <string>

#include "Tilo/base/TiloExport.h"
#include "platform/Decimal.h"

namespace tilo {

enum class PrecisionType : int {
  unknown = 0,
  estimated = 1,
  publisherProvided = 2,
  exact = 3,
};

// The platform precision with the same number; anything else is unknown.
TILO_EXPORT PrecisionType precisionTypeFromPlatform(int precision);

struct TILO_EXPORT TiloRevenueInfo {
  platform::Decimal value;  // net of the fee, decimal arithmetic throughout
  std::string currencyCode;
  PrecisionType precisionType = PrecisionType::unknown;

  // value × (1 − feeRate); an absent fee rate counts as 0, and so does one outside 0...1
  // (with one error line).
  static TiloRevenueInfo fromPlatform(std::optional<platform::Decimal> feeRate,
                                      platform::Decimal value, std::string currency, int precision);
  bool operator==(const TiloRevenueInfo&) const = default;
};

}  // namespace tilo
