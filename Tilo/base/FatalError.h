// Reports why the SDK cannot work at all (no app key, an unusable key file) where no status
// carries it: the C++ entry points that answer null. The C ABI checks first and returns
// TILO_STATUS_NOT_CONFIGURED with the same line.
//
//   auto keys = TiloKeyManager::shared();   // null, after reportFatal, when there is no key
#pragma once

#include <string_view>

namespace tilo {

// Hands `message` to the host's log callback (as an error line, whatever the level) and
// writes it and a newline to standard error, so a developer sees it with logs off. The
// process goes on.
void reportFatal(std::string_view message);

}  // namespace tilo
