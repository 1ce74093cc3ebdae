// Ends the process when the SDK cannot work at all (no app key, unusable key file). Only
// the C++ entry point ends up here; the C ABI checks first and returns a status.
#pragma once

#include <string>
#include <string_view>

#include "Tilo/base/ConfigurationError.h"

namespace tilo {

// Hands `message` to the host's log callback (as an error line, whatever the level), writes
// it and a newline to standard error, then aborts.
[[noreturn]] void fatalError(std::string_view message);

// What `make` returns, or the fatal line for the ConfigurationError it throws. The line goes
// out once `make` has unwound, outside any lock it held: the log callback may call in.
template <class Make>
decltype(auto) valueOrFatal(Make&& make) {
  std::string problem;
  try {
    return make();
  } catch (const ConfigurationError& error) {
    problem = error.message();
  }
  fatalError(problem);
}

}  // namespace tilo
