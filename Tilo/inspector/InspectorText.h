// How recorded values are shown by the ad inspector: one line of printable text, cut to
// a length a screen can hold, whatever bytes they came with.
//
//   shownText("unit\n\x01" + std::string(10'000, 'x'), 40)   // "unit��xxx…x…" (40 characters)
//
// Identifiers and error texts come from hosts, backends and ad networks: a control
// character, a line break, a bidirectional override or a byte that is not UTF-8 becomes
// U+FFFD, so that no value can reorder, hide or break the lines around it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tilo::inspector {

// At most `maxCharacters` characters; a longer text keeps maxCharacters − 1 and ends in "…".
std::string shownText(std::string_view text, std::size_t maxCharacters);

// "850 ms", "1.2 s", "2 min 5 s".
std::string shownDuration(double milliseconds);
// The log lines' clock: "14:03:07.125" in local time.
std::string shownTime(double secondsSince1970);
// "yes", "no", or "not set".
std::string shownChoice(std::optional<bool> value);

}  // namespace tilo::inspector
