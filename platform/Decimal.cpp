#include "platform/Decimal.h"

#include <boost/multiprecision/cpp_int.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

namespace tilo::platform {

using boost::multiprecision::cpp_int;

namespace {

constexpr std::int64_t kMinExponent = -Decimal::kMaxExponent;

// Intermediate coefficients stay below 10^117 (a sum of two 38-digit operands, one scaled
// up by at most 78 places, or a product of two); the table covers them.
const std::vector<cpp_int>& powersOfTen() {
  static const std::vector<cpp_int> table = [] {
    std::vector<cpp_int> powers{1};
    while (powers.size() < 160) powers.push_back(powers.back() * 10);
    return powers;
  }();
  return table;
}

const cpp_int& pow10(std::int64_t n) {
  return powersOfTen().at(static_cast<std::size_t>(n));
}

std::int64_t digitCount(const cpp_int& value) {
  const auto& table = powersOfTen();
  return std::upper_bound(table.begin(), table.end(), value) - table.begin();
}

}  // namespace

// Arithmetic works on exact unbounded integers and rounds once, in make().
struct DecimalAccess {
  static cpp_int coefficient(const Decimal& d) { return (cpp_int(d.high_) << 64) | d.low_; }

  static std::string coefficientDigits(const Decimal& d) {
    unsigned __int128 value = (static_cast<unsigned __int128>(d.high_) << 64) | d.low_;
    std::string digits;
    do {
      digits += static_cast<char>('0' + static_cast<int>(value % 10));
      value /= 10;
    } while (value != 0);
    return {digits.rbegin(), digits.rend()};
  }

  // Position of the most significant digit: 0 for 1..9, -1 for 0.1..0.9.
  static std::int64_t leadingPosition(const Decimal& d) {
    return d.exponent_ + digitCount(coefficient(d)) - 1;
  }

  // The value, or nullopt when it lies beyond the largest exponent.
  static std::optional<Decimal> tryMake(bool negative, cpp_int coefficient, std::int64_t exponent) {
    const std::int64_t digits = digitCount(coefficient);
    const std::int64_t drop = std::max(digits - Decimal::kMaxDigits, kMinExponent - exponent);
    if (drop > digits) return Decimal();  // below a tenth of the smallest unit
    if (drop > 0) {
      const cpp_int divisor = pow10(drop);
      cpp_int remainder;
      divide_qr(cpp_int(coefficient), divisor, coefficient, remainder);
      if (remainder * 2 >= divisor) ++coefficient;  // halves away from zero
      exponent += drop;
    }
    if (coefficient == 0) return Decimal();
    while (coefficient % 10 == 0) {
      coefficient /= 10;
      ++exponent;
    }
    if (exponent > Decimal::kMaxExponent) return std::nullopt;
    Decimal d;
    d.negative_ = negative;
    d.low_ = static_cast<std::uint64_t>(coefficient & std::numeric_limits<std::uint64_t>::max());
    d.high_ = static_cast<std::uint64_t>(coefficient >> 64);
    d.exponent_ = static_cast<std::int32_t>(exponent);
    return d;
  }

  // Arithmetic beyond the range saturates at the largest magnitude of that sign.
  static Decimal make(bool negative, cpp_int coefficient, std::int64_t exponent) {
    if (auto made = tryMake(negative, std::move(coefficient), exponent)) return *made;
    return *tryMake(negative, pow10(Decimal::kMaxDigits) - 1, Decimal::kMaxExponent);
  }

  static int compareMagnitude(const Decimal& a, const Decimal& b) {
    if (a.isZero() || b.isZero()) return (a.isZero() ? 0 : 1) - (b.isZero() ? 0 : 1);
    const std::int64_t pa = leadingPosition(a), pb = leadingPosition(b);
    if (pa != pb) return pa < pb ? -1 : 1;
    const std::int32_t e = std::min(a.exponent_, b.exponent_);
    const cpp_int ca = coefficient(a) * pow10(a.exponent_ - e);
    const cpp_int cb = coefficient(b) * pow10(b.exponent_ - e);
    return ca < cb ? -1 : ca > cb ? 1 : 0;
  }

  static Decimal add(const Decimal& a, const Decimal& b) {
    if (a.isZero()) return b;
    if (b.isZero()) return a;
    // An operand whose leading digit lies more than 40 places below the other's cannot
    // move the other's 38-digit rounding, so it is left out instead of scaled up.
    const std::int64_t gap = leadingPosition(a) - leadingPosition(b);
    if (gap > Decimal::kMaxDigits + 2) return a;
    if (-gap > Decimal::kMaxDigits + 2) return b;
    const std::int32_t e = std::min(a.exponent_, b.exponent_);
    const cpp_int ca = coefficient(a) * pow10(a.exponent_ - e);
    const cpp_int cb = coefficient(b) * pow10(b.exponent_ - e);
    if (a.negative_ == b.negative_) return make(a.negative_, ca + cb, e);
    return ca >= cb ? make(a.negative_, ca - cb, e) : make(b.negative_, cb - ca, e);
  }

  static Decimal multiply(const Decimal& a, const Decimal& b) {
    return make(a.negative_ != b.negative_, coefficient(a) * coefficient(b),
                std::int64_t{a.exponent_} + b.exponent_);
  }
};

Decimal::Decimal(std::int64_t value) {
  const bool negative = value < 0;
  // Negating in unsigned arithmetic keeps INT64_MIN defined.
  const std::uint64_t magnitude =
      negative ? ~static_cast<std::uint64_t>(value) + 1 : static_cast<std::uint64_t>(value);
  *this = DecimalAccess::make(negative, cpp_int(magnitude), 0);
}

std::optional<Decimal> Decimal::fromString(std::string_view text) {
  std::size_t i = 0;
  const bool negative = i < text.size() && text[i] == '-';
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  // Only the first 39 significant digits matter: rounding halves away from zero looks
  // at the 39th alone. Later digits just shift the exponent.
  std::string significant;
  std::int64_t shift = 0;
  bool seenDigit = false, seenPoint = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.' && !seenPoint) {
      seenPoint = true;
    } else if (c >= '0' && c <= '9') {
      seenDigit = true;
      if (seenPoint) --shift;
      if (significant.empty() && c == '0') continue;
      if (significant.size() <= kMaxDigits) {
        significant += c;
      } else {
        ++shift;
      }
    } else {
      break;
    }
  }
  if (!seenDigit) return std::nullopt;
  std::int64_t exponent = 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    const bool negativeExponent = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    if (i == text.size()) return std::nullopt;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
      // Saturates far beyond any representable exponent.
      exponent = std::min<std::int64_t>(exponent * 10 + (text[i] - '0'), 1'000'000'000);
    }
    if (negativeExponent) exponent = -exponent;
  }
  if (i != text.size()) return std::nullopt;
  if (significant.empty()) return Decimal();
  return DecimalAccess::tryMake(negative, cpp_int(significant), exponent + shift);
}

Decimal Decimal::fromDouble(double value) {
  if (!std::isfinite(value)) return Decimal();
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return fromString(std::string_view(buffer, result.ptr)).value_or(Decimal());
}

std::string Decimal::description() const {
  if (isZero()) return "0";
  std::string digits = DecimalAccess::coefficientDigits(*this);
  if (exponent_ >= 0) {
    digits.append(static_cast<std::size_t>(exponent_), '0');
  } else {
    const std::size_t fraction = static_cast<std::size_t>(-exponent_);
    if (digits.size() <= fraction) digits.insert(0, fraction - digits.size() + 1, '0');
    digits.insert(digits.size() - fraction, 1, '.');
  }
  return negative_ ? "-" + digits : digits;
}

double Decimal::toDouble() const {
  std::string text = negative_ ? "-" : "";
  text += DecimalAccess::coefficientDigits(*this);
  text += 'e';
  text += std::to_string(exponent_);
  double value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    value = exponent_ > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return negative_ ? -value : value;
  }
  return value;
}

std::optional<std::int64_t> Decimal::toInt64() const {
  if (isZero()) return 0;
  // 2^63 has 19 digits: a larger exponent cannot fit, a smaller one than -38 leaves 0.
  if (exponent_ > 19) return std::nullopt;
  if (exponent_ < -kMaxDigits) return 0;
  cpp_int magnitude = DecimalAccess::coefficient(*this);
  if (exponent_ >= 0) {
    magnitude *= pow10(exponent_);
  } else {
    magnitude /= pow10(-exponent_);  // truncates toward zero
  }
  const cpp_int limit = cpp_int(std::numeric_limits<std::int64_t>::max()) + (negative_ ? 1 : 0);
  if (magnitude > limit) return std::nullopt;
  const auto low = static_cast<std::uint64_t>(magnitude);
  // Negating in unsigned arithmetic keeps INT64_MIN defined.
  return static_cast<std::int64_t>(negative_ ? ~low + 1 : low);
}

Decimal Decimal::operator-() const {
  Decimal d = *this;
  d.negative_ = !negative_ && !isZero();
  return d;
}

Decimal operator+(const Decimal& a, const Decimal& b) {
  return DecimalAccess::add(a, b);
}

Decimal operator*(const Decimal& a, const Decimal& b) {
  return DecimalAccess::multiply(a, b);
}

std::strong_ordering operator<=>(const Decimal& a, const Decimal& b) {
  if (a.isNegative() != b.isNegative()) {
    return a.isNegative() ? std::strong_ordering::less : std::strong_ordering::greater;
  }
  const int magnitude = DecimalAccess::compareMagnitude(a, b);
  const int order = a.isNegative() ? -magnitude : magnitude;
  return order < 0   ? std::strong_ordering::less
         : order > 0 ? std::strong_ordering::greater
                     : std::strong_ordering::equal;
}

}  // namespace tilo::platform
