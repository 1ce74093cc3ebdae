// Ends the process when the SDK cannot work at all (no app key, unusable key file). Only
// the C++ entry point ends up here; the C ABI checks first and returns a status.
#pragma once

#include <string_view>

namespace tilo {

// Hands `message` to the host's log callback (as an error line, whatever the level), writes
// it and a newline to standard error, then aborts.
[[noreturn]] void fatalError(std::string_view message);

}  // namespace tilo
