// UTF-8 and UTF-16 for text read from files.
//
//   std::string text;
//   appendUtf8(text, U'é');
//   auto converted = utf16ToUtf8(bytes, /*bigEndian=*/true);   // nullopt for a lone surrogate
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tilo::platform {

// `codePoint` must be a Unicode scalar value (at most U+10FFFF, no surrogate).
void appendUtf8(std::string& out, char32_t codePoint);

// UTF-16 code units (two bytes each, without a byte-order mark) as UTF-8; nullopt for an
// odd number of bytes or a surrogate without its partner.
std::optional<std::string> utf16ToUtf8(std::string_view bytes, bool bigEndian);

// Well-formed UTF-8: no overlong forms, surrogates or code points above U+10FFFF.
bool isValidUtf8(std::string_view text);

// The value of a hexadecimal digit (either case), or -1 for any other character.
int hexDigitValue(char c);

}  // namespace tilo::platform
