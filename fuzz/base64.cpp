// Strict Base64: whatever decodes must encode back to exactly the same text (one valid
// spelling per byte string), and any bytes must survive encode then decode.
#include <cstdlib>
#include <string_view>

#include "platform/Base64.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tilo::platform;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const auto decoded = base64Decode(text); decoded && base64Encode(*decoded) != text) {
    std::abort();
  }
  const std::span<const std::uint8_t> bytes(data, size);
  const auto roundTrip = base64Decode(base64Encode(bytes));
  if (!roundTrip || !std::equal(roundTrip->begin(), roundTrip->end(), bytes.begin(), bytes.end())) {
    std::abort();
  }
  const std::string trimmed = trimWhitespaceAndNewlines(text);
  if (text.find(trimmed) == std::string_view::npos) std::abort();
  return 0;
}
