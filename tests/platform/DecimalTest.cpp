#include "platform/Decimal.h"

#include <gtest/gtest.h>

#include <limits>

namespace tilo::platform {
namespace {

Decimal dec(std::string_view text) {
  auto value = Decimal::fromString(text);
  EXPECT_TRUE(value) << text;
  return value.value_or(Decimal());
}

TEST(DecimalTest, RoundsTo38DigitsHalvesAwayFromZero) {
  // (10^19 + 5)(10^19 + 1) = 10^38 + 6*10^19 + 5: 39 digits ending in an exact half.
  const Decimal a = dec("10000000000000000005"), b = dec("10000000000000000001");
  EXPECT_EQ((a * b).description(), "100000000000000000060000000000000000010");
  EXPECT_EQ((-a * b).description(), "-100000000000000000060000000000000000010");
  // (10^19 + 1)(10^19 + 3) = 10^38 + 4*10^19 + 3: below half, rounds down.
  EXPECT_EQ((b * dec("10000000000000000003")).description(),
            "100000000000000000040000000000000000000");
  EXPECT_EQ((dec("1.0000000000000000005") * dec("1.0000000000000000001")).description(),
            "1.0000000000000000006000000000000000001");
  // Rounding that carries into a new digit, and rounding while reading text.
  EXPECT_EQ(dec("99999999999999999999999999999999999999.5").description(),
            "100000000000000000000000000000000000000");
  EXPECT_EQ(dec("0.123456789012345678901234567890123456784999").description(),
            "0.12345678901234567890123456789012345678");
  EXPECT_EQ((Decimal(1) + dec("5e-38")).description(), "1.0000000000000000000000000000000000001");
  EXPECT_EQ((Decimal(1) + dec("1e-37")).description(), "1.0000000000000000000000000000000000001");
  // Far below the rounding digit an operand cannot change the result.
  EXPECT_EQ((dec("1e30") + dec("1e-30")).description(), "1000000000000000000000000000000");
  EXPECT_EQ((Decimal(1) - dec("1e-50")).description(), "1");
}

TEST(DecimalTest, ParsesAndDescribes) {
  EXPECT_EQ(dec("-0.0125").description(), "-0.0125");
  EXPECT_EQ(dec("12").description(), "12");
  EXPECT_EQ(dec("1e-5").description(), "0.00001");
  EXPECT_EQ(dec("1.5E3").description(), "1500");
  EXPECT_EQ(dec("+.5").description(), "0.5");
  EXPECT_EQ(dec("007.2500").description(), "7.25");
  EXPECT_EQ(dec("-0.000").description(), "0");
  EXPECT_FALSE(dec("-0").isNegative());
  EXPECT_EQ(Decimal(std::numeric_limits<std::int64_t>::min()).description(),
            "-9223372036854775808");
  for (std::string_view bad : {"", "-", ".", "e5", "1e", "1e+", "1.2.3", " 1", "1 ", "0x10", "1e5x",
                               "nan", "1,5", "--1"}) {
    EXPECT_FALSE(Decimal::fromString(bad)) << bad;
  }
}

TEST(DecimalTest, DoublesGoThroughTheirShortestText) {
  EXPECT_EQ(Decimal::fromDouble(0.15).description(), "0.15");
  EXPECT_EQ(Decimal::fromDouble(1e-5).description(), "0.00001");
  EXPECT_EQ(Decimal::fromDouble(-2.5).description(), "-2.5");
  EXPECT_EQ(Decimal::fromDouble(1e21).description(), "1000000000000000000000");
  EXPECT_TRUE(Decimal::fromDouble(std::numeric_limits<double>::quiet_NaN()).isZero());
  EXPECT_EQ(dec("0.010625").toDouble(), 0.010625);
  EXPECT_EQ(dec("-1.5e300").toDouble(), -1.5e300);
  EXPECT_EQ(Decimal::fromDouble(5e-324).toDouble(), 5e-324);
}

TEST(DecimalTest, Comparisons) {
  EXPECT_LT(dec("0.1"), dec("0.15"));
  EXPECT_LT(dec("0.15"), Decimal(1));
  EXPECT_LT(dec("-2"), dec("-1.5"));
  EXPECT_LT(dec("-0.001"), Decimal());
  EXPECT_GT(dec("100"), dec("99.99999999999999999999999999999999999"));
  EXPECT_GT(dec("1e-1000"), Decimal());
  EXPECT_EQ(dec("1.50"), dec("1.5"));
  EXPECT_EQ(dec("15e-1"), dec("1.5"));
  EXPECT_EQ(Decimal(1) - Decimal(1), Decimal());
  EXPECT_NE(dec("1.5"), dec("-1.5"));
  EXPECT_LT(dec("-1e1000"), dec("1e1000"));
}

TEST(DecimalTest, ExponentRange) {
  EXPECT_TRUE(Decimal::fromString("1e1000"));
  EXPECT_FALSE(Decimal::fromString("1e1001"));
  EXPECT_FALSE(Decimal::fromString("1e99999999999999999999"));
  const Decimal largest = dec(std::string(38, '9') + "e1000");
  EXPECT_EQ(dec("1e1000") * Decimal(10), largest);
  EXPECT_EQ(-largest - largest, -largest) << "saturates, keeping the sign";
  EXPECT_TRUE((dec("1e-1000") * dec("0.1")).isZero());
  EXPECT_EQ(dec("1e-1000") * dec("0.5"), dec("1e-1000"));  // half rounds away from zero
  EXPECT_TRUE(dec("1e-99999999999999999999").isZero());
}

TEST(DecimalTest, WholePartInSixtyFourBits) {
  EXPECT_EQ(dec("3000000000").toInt64(), 3000000000);
  EXPECT_EQ(dec("9007199254740993").toInt64(), 9007199254740993);  // not a double
  EXPECT_EQ(dec("2.9").toInt64(), 2);
  EXPECT_EQ(dec("-2.9").toInt64(), -2);
  EXPECT_EQ(dec("0.999").toInt64(), 0);
  EXPECT_EQ(dec("1.5e3").toInt64(), 1500);
  EXPECT_EQ(dec("1e-1000").toInt64(), 0);
  EXPECT_EQ(dec("9223372036854775807").toInt64(), INT64_MAX);
  EXPECT_EQ(dec("9223372036854775807.9").toInt64(), INT64_MAX);
  EXPECT_EQ(dec("-9223372036854775808").toInt64(), INT64_MIN);
  EXPECT_EQ(dec("9223372036854775808").toInt64(), std::nullopt);
  EXPECT_EQ(dec("-9223372036854775809").toInt64(), std::nullopt);
  EXPECT_EQ(dec("1e20").toInt64(), std::nullopt);
}

}  // namespace
}  // namespace tilo::platform
