// Puts long ASCII strings into a binary property list that was written with short
// stand-ins for them. libplist hashes every string it writes, byte by byte, to share
// equal ones: for the user-defaults file that is one hash of the whole encrypted event
// list per save, more than the rest of the save. A document keeps such strings aside,
// lets libplist write a unique stand-in for each, and splices the real ones in here.
//
//   auto file = spliceAsciiStrings(plistToBin(withStandIns), {{standIn, longText}});
//
// Internal to the platform.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tilo::platform {

// `bplist` with each stand-in's string object replaced by its text, the offset table
// moved and rewritten to match (wider when it must be), as libplist would have written
// the text itself. Stand-ins are 15 to 255 ASCII characters, texts ASCII without a NUL.
// nullopt when `bplist` is not a binary list, or a stand-in is not exactly one of its
// objects: the caller then writes the document another way.
std::optional<std::string> spliceAsciiStrings(
    std::string_view bplist, const std::vector<std::pair<std::string, std::string_view>>& texts);

// The start of a document's stand-ins: a control character and a random tag, so that no
// value of the host's is one. Each call gives another.
std::string makeStandInPrefix();
// Whether `text` is worth keeping aside: `threshold` bytes or more, ASCII without a NUL.
bool isLongAsciiText(const std::string& text, std::size_t threshold);

}  // namespace tilo::platform
