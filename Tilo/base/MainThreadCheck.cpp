#include "Tilo/base/MainThreadCheck.h"

#include <string>

#include "Tilo/base/FatalError.h"
#include "Tilo/base/TiloLogger.h"

namespace tilo {

void mainThreadViolated(const std::source_location& where) {
  const std::string message =
      std::string("Main thread only: ") + where.function_name() + " called from another thread";
#ifdef NDEBUG
  log(message, TiloLogLevel::error);
#else
  fatalError(message);
#endif
}

}  // namespace tilo
