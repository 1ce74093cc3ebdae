// Two decimals from the input (split at the first newline): parsing, printing, arithmetic
// and ordering must agree with each other and never crash.
#include <cmath>
#include <cstdlib>
#include <string_view>

#include "fuzz/support/FuzzSupport.h"
#include "platform/Decimal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using tilo::fuzz::check;
  using tilo::platform::Decimal;
  const std::string_view input = tilo::fuzz::textOf(data, size);
  const std::size_t split = input.find('\n');
  const auto a = Decimal::fromString(input.substr(0, split));
  const auto b = split == std::string_view::npos ? a : Decimal::fromString(input.substr(split + 1));
  for (const auto& value : {a, b}) {
    if (!value) continue;
    check(Decimal::fromString(value->description()) == *value);
    const double approximation = value->toDouble();
    check(!std::isfinite(approximation) ||
          Decimal::fromDouble(approximation).toDouble() == approximation);
    check((*value - *value).isZero());
  }
  if (!a || !b) return 0;
  check((*a < *b) == (*b > *a) && (*a == *b) == (*b == *a));
  check((*a <= *b) || (*b <= *a));
  check(*a + *b == *b + *a);
  check(*a * *b == *b * *a);
  const Decimal difference = *a - *b;  // saturates when beyond the range
  check(difference.isZero() == (*a == *b));
  check(difference.isNegative() == (*a < *b));
  return 0;
}
