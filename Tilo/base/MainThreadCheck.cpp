#include "Tilo/base/MainThreadCheck.h"

#include <string>

#include "Tilo/base/FatalError.h"
#include "Tilo/base/TiloLogger.h"

namespace tilo {

void mainThreadViolated(const char* function) {
  const std::string message =
      std::string("Main thread only: ") + function + " called from another thread";
#ifdef TILO_STRICT_CHECKS
  fatalError(message);
#else
  log(message, TiloLogLevel::error);
#endif
}

}  // namespace tilo
