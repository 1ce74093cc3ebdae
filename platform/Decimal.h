// Decimal numbers for money: coefficient × 10^exponent, never binary floating point.
//
//   Decimal keep = Decimal(1) - *Decimal::fromString("0.15");
//   Decimal net = Decimal::fromDouble(0.0125) * keep;   // net.description() == "0.010625"
//
// Results keep up to 38 significant digits; longer ones are rounded there, halves away
// from zero. Values are stored normalized (no trailing zeros in the coefficient), so
// equal numbers compare equal whatever their spelling ("1.50" == "1.5").
// Exponents stay within ±kMaxExponent: smaller magnitudes round toward zero; text
// beyond the range is refused, and arithmetic beyond it saturates at the largest
// magnitude (38 nines × 10^kMaxExponent) of its sign.
#pragma once

#include <compare>
#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tilo::platform {

class Decimal {
 public:
  static constexpr int kMaxDigits = 38;
  static constexpr int kMaxExponent = 1000;

  Decimal() = default;  // zero
  explicit Decimal(std::int64_t value);
  // Binary fractions go through fromDouble, which says how they become decimal.
  template <std::floating_point T>
  Decimal(T) = delete;

  // "-0.0125", "12", "+3.", ".5", "1e-5", "1.5E3"; nothing else (no spaces, no hex).
  static std::optional<Decimal> fromString(std::string_view text);
  // Through the shortest text that reads back as `value`, so 0.15 becomes exactly 0.15.
  // NaN and infinities give zero.
  static Decimal fromDouble(double value);

  // Plain digits without exponent: "0", "-12", "0.0000861", "1500".
  std::string description() const;
  double toDouble() const;
  // The integer part, truncated toward zero without going through double ("2.9" -> 2,
  // "-2.9" -> -2); nothing when it does not fit in 64 bits.
  std::optional<std::int64_t> toInt64() const;
  bool isZero() const { return high_ == 0 && low_ == 0; }
  bool isNegative() const { return negative_; }

  Decimal operator-() const;
  friend Decimal operator+(const Decimal& a, const Decimal& b);
  friend Decimal operator-(const Decimal& a, const Decimal& b) { return a + (-b); }
  friend Decimal operator*(const Decimal& a, const Decimal& b);
  friend bool operator==(const Decimal& a, const Decimal& b) = default;
  friend std::strong_ordering operator<=>(const Decimal& a, const Decimal& b);

 private:
  friend struct DecimalAccess;

  bool negative_ = false;
  std::uint64_t high_ = 0;  // coefficient, below 10^38, without trailing zeros
  std::uint64_t low_ = 0;
  std::int32_t exponent_ = 0;
};

}  // namespace tilo::platform
