// Ends the process when the SDK cannot work at all (no app key, unusable key file).
#pragma once

#include <string_view>

namespace tilo {

// Writes `message` and a newline to standard error, then aborts.
[[noreturn]] void fatalError(std::string_view message);

}  // namespace tilo
