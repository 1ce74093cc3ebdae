// Net revenue: the fee deducted in decimal arithmetic, and the precision mapping.
#include "Tilo/base/TiloRevenueInfo.h"

#include <gtest/gtest.h>

#include "Tilo/base/TiloLogger.h"

namespace tilo {
namespace {

TEST(TiloRevenueInfoTest, DeductsTheFeeInDecimalArithmetic) {
  auto dec = [](const char* text) { return *platform::Decimal::fromString(text); };
  auto net = [&](std::optional<platform::Decimal> fee, const char* value) {
    return TiloRevenueInfo::fromPlatform(fee, dec(value), "EUR", 3).value.description();
  };
  EXPECT_EQ(net(std::nullopt, "0.0125"), "0.0125");
  EXPECT_EQ(net(dec("0"), "0.0125"), "0.0125");
  EXPECT_EQ(net(dec("1"), "0.0125"), "0");
  EXPECT_EQ(net(dec("0.3"), "0.000123"), "0.0000861");
  // Binary floating point would give 0.1 * 0.7 = 0.06999999999999999.
  EXPECT_EQ(net(platform::Decimal::fromDouble(0.3), "0.1"), "0.07");

  // A fee rate outside 0...1 is held to the nearest end, silently: never more than gross.
  setCurrentLogLevel(TiloLogLevel::debug);
  ScopedLogCapture logs;
  EXPECT_EQ(net(dec("1.2"), "0.0125"), "0");
  EXPECT_EQ(net(dec("-0.2"), "0.0125"), "0.0125");
  EXPECT_TRUE(logs.lines().empty());
  setCurrentLogLevel(TiloLogLevel::off);

  EXPECT_EQ(precisionTypeFromPlatform(1), PrecisionType::estimated);
  EXPECT_EQ(precisionTypeFromPlatform(4), PrecisionType::unknown);
  EXPECT_EQ(precisionTypeFromPlatform(-1), PrecisionType::unknown);
}

}  // namespace
}  // namespace tilo
