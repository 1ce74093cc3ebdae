#include "Tilo/base/MainThreadCheck.h"

#include <string>

#include "Tilo/base/FatalError.h"
#include "Tilo/base/TiloLogger.h"

#ifdef TILO_STRICT_CHECKS
#include <cstdlib>
#endif

namespace tilo {

void mainThreadViolated(const char* function) {
  const std::string message =
      std::string("Main thread only: ") + function + " called from another thread";
#ifdef TILO_STRICT_CHECKS
  // Only the project's own test builds: the mistake must not pass a test unseen.
  reportFatal(message);
  std::abort();
#else
  log(message, TiloLogLevel::error);
#endif
}

}  // namespace tilo
