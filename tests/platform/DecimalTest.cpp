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
  // (10^19 + 5)(10^19 + 1) = 10^38 + 6*10^19 + 5: 39 digits ending in an exact half;
  // (10^19 + 1)(10^19 + 3) = 10^38 + 4*10^19 + 3: below half, rounds down.
  const Decimal a = dec("10000000000000000005"), b = dec("10000000000000000001");
  const std::pair<Decimal, std::string_view> cases[] = {
      {a * b, "100000000000000000060000000000000000010"},
      {-a * b, "-100000000000000000060000000000000000010"},
      {b * dec("10000000000000000003"), "100000000000000000040000000000000000000"},
      {dec("1.0000000000000000005") * dec("1.0000000000000000001"),
       "1.0000000000000000006000000000000000001"},
      // Rounding that carries into a new digit, and rounding while reading text.
      {dec("99999999999999999999999999999999999999.5"), "100000000000000000000000000000000000000"},
      {dec("0.123456789012345678901234567890123456784999"),
       "0.12345678901234567890123456789012345678"},
      {Decimal(1) + dec("5e-38"), "1.0000000000000000000000000000000000001"},
      {Decimal(1) + dec("1e-37"), "1.0000000000000000000000000000000000001"},
      // Far below the rounding digit an operand cannot change the result.
      {dec("1e30") + dec("1e-30"), "1000000000000000000000000000000"},
      {Decimal(1) - dec("1e-50"), "1"},
      {Decimal(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(value.description(), text);
  // Parsing and describing; doubles go through their shortest text.
  std::vector<std::string> described;
  for (auto text : {"-0.0125", "12", "1e-5", "1.5E3", "+.5", "007.2500", "-0.000"}) {
    described.push_back(dec(text).description());
  }
  for (double d : {0.15, 1e-5, -2.5, 1e21})
    described.push_back(Decimal::fromDouble(d).description());
  EXPECT_EQ(described,
            (std::vector<std::string>{"-0.0125", "12", "0.00001", "1500", "0.5", "7.25", "0",
                                      "0.15", "0.00001", "-2.5", "1000000000000000000000"}));
  EXPECT_FALSE(dec("-0").isNegative());
  for (std::string_view bad : {"", "-", ".", "e5", "1e", "1e+", "1.2.3", " 1", "1 ", "0x10", "1e5x",
                               "nan", "1,5", "--1"}) {
    EXPECT_FALSE(Decimal::fromString(bad)) << bad;
  }
  EXPECT_TRUE(Decimal::fromDouble(std::numeric_limits<double>::quiet_NaN()).isZero());
  EXPECT_EQ(dec("0.010625").toDouble(), 0.010625);
  EXPECT_EQ(dec("-1.5e300").toDouble(), -1.5e300);
  EXPECT_EQ(Decimal::fromDouble(5e-324).toDouble(), 5e-324);
}

TEST(DecimalTest, ComparisonsAndTheExponentRange) {
  const std::pair<std::string_view, std::string_view> ascending[] = {
      {"0.1", "0.15"}, {"0.15", "1"},    {"-2", "-1.5"},
      {"-0.001", "0"}, {"0", "1e-1000"}, {"-1e1000", "1e1000"}};
  for (const auto& [lower, higher] : ascending) {
    EXPECT_LT(dec(lower), dec(higher)) << lower << " < " << higher;
    EXPECT_GT(dec(higher), dec(lower)) << higher << " > " << lower;
  }
  EXPECT_LT(dec("99.99999999999999999999999999999999999"), dec("100"));
  EXPECT_EQ(dec("1.50"), dec("1.5"));
  EXPECT_EQ(dec("15e-1"), dec("1.5"));
  EXPECT_EQ(Decimal(1) - Decimal(1), Decimal());
  EXPECT_NE(dec("1.5"), dec("-1.5"));

  EXPECT_FALSE(Decimal::fromString("1e1001"));
  EXPECT_FALSE(Decimal::fromString("1e99999999999999999999"));
  const Decimal largest = dec(std::string(38, '9') + "e1000");
  EXPECT_EQ(dec("1e1000") * Decimal(10), largest);
  EXPECT_EQ(-largest - largest, -largest) << "saturates, keeping the sign";
  EXPECT_TRUE((dec("1e-1000") * dec("0.1")).isZero());
  EXPECT_EQ(dec("1e-1000") * dec("0.5"), dec("1e-1000"));  // half rounds away from zero
  EXPECT_TRUE(dec("1e-99999999999999999999").isZero());
}

// 9007199254740993 is not a double.
TEST(DecimalTest, WholePartInSixtyFourBits) {
  std::vector<std::optional<std::int64_t>> whole;
  for (auto text : {"3000000000", "9007199254740993", "2.9", "-2.9", "0.999", "1.5e3", "1e-1000",
                    "9223372036854775807", "9223372036854775807.9", "-9223372036854775808",
                    "9223372036854775808", "-9223372036854775809", "1e20"}) {
    whole.push_back(dec(text).toInt64());
  }
  EXPECT_EQ(whole, (std::vector<std::optional<std::int64_t>>{
                       3000000000, 9007199254740993, 2, -2, 0, 1500, 0, INT64_MAX, INT64_MAX,
                       INT64_MIN, std::nullopt, std::nullopt, std::nullopt}));
}

}  // namespace
}  // namespace tilo::platform
