#include "Tilo/base/UserDefaultsFailures.h"

#include "Tilo/base/TiloLogger.h"
#include "platform/UserDefaults.h"

namespace tilo {

void reportUserDefaultsFailures(platform::UserDefaults& defaults) {
  if (auto moved = defaults.takeMovedAsideReport()) {
    log("User defaults over 4 MB moved aside to " + moved->string() + ", starting a fresh file",
        TiloLogLevel::error);
  }
  if (auto failure = defaults.takeReadFailureReport()) {
    log("Failed to read user defaults, keeping changes in memory: " + *failure,
        TiloLogLevel::error);
  }
  if (auto failure = defaults.takeWriteFailureReport()) {
    log("Failed to write user defaults, keeping changes in memory: " + *failure,
        TiloLogLevel::error);
  }
}

}  // namespace tilo
