// Every JSON text the SDK reads goes through parseJson's own lexer. Held against the JSON
// library's parser: the same texts are accepted, with the same values, except that a number
// beyond a double's range is a value of its own here (it stops the library's whole parse),
// and that nesting is capped here.
#include <cmath>

#include "fuzz/support/FuzzSupport.h"
#include "platform/Json.h"

namespace {

using tilo::platform::ParsedJson;

bool holdsOutOfRange(const ParsedJson& value) {
  if (value.is_number_float()) return !std::isfinite(value.get<double>());
  if (!value.is_structured()) return false;
  for (const auto& item : value) {
    if (holdsOutOfRange(item)) return true;
  }
  return false;
}

std::size_t depthOf(const ParsedJson& value) {
  std::size_t deepest = 0;
  if (value.is_structured()) {
    for (const auto& item : value) deepest = std::max(deepest, depthOf(item));
    ++deepest;
  }
  return deepest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = tilo::fuzz::textOf(data, size);
  std::optional<ParsedJson> ours;
  try {
    ours = tilo::platform::parseJson(text);
  } catch (const tilo::platform::DecodingError&) {
  }
  const auto theirs = ParsedJson::parse(text, nullptr, false);
  if (theirs.is_discarded()) {
    if (ours && !holdsOutOfRange(*ours)) __builtin_trap();
  } else if (!ours) {
    if (depthOf(theirs) <= tilo::platform::kMaxJsonDepth) __builtin_trap();
  } else if (*ours != theirs) {
    __builtin_trap();
  }
  return 0;
}
