// Standard Base64 (RFC 4648 alphabet, '=' padding, no line breaks).
//
//   auto bytes = base64Decode(trimWhitespaceAndNewlines(fileText));
//
// Decoding is strict: it ignores no character. Line breaks or spaces inside the text,
// URL-safe letters, a length that is not a multiple of four, misplaced padding or
// non-zero bits after the last encoded byte all make it fail. Callers that accept
// surrounding white space trim it themselves.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/Bytes.h"

namespace tilo::platform {

std::string base64Encode(std::span<const std::uint8_t> data);
std::optional<Bytes> base64Decode(std::string_view text);

// Removes leading and trailing white space and line breaks, including the Unicode
// separators and no-break spaces (UTF-8 encoded).
std::string trimWhitespaceAndNewlines(std::string_view text);

}  // namespace tilo::platform
