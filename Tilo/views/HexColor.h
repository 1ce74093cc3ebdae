// Colours written as hex text in the templates ("#3E434F").
//
//   UIColor border = hexColor("#3E434F");
//
// Surrounding white space and line breaks are trimmed and one leading "#" is skipped;
// the hex digits from there on are read as one number (reading stops at the first other
// character) whose bits 16–23, 8–15 and 0–7 are red, green and blue; alpha is 1. Text
// that starts with no hex digit reads as 0, black; a number too large for 64 bits reads
// as all ones, white. Unlike UIColor::fromHex, this never fails.
#pragma once

#include <string_view>

#include "Tilo/base/TiloExport.h"
#include "platform/ui/UIColor.h"

namespace tilo {

TILO_EXPORT platform::UIColor hexColor(std::string_view text);

}  // namespace tilo
