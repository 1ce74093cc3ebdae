#include "Tilo/base/FatalError.h"

#include <cstdio>
#include <string>

#include "Tilo/base/TiloLogger.h"

namespace tilo {

void reportFatal(std::string_view message) {
  // A host that routes the SDK's lines into its own log finds this one there too.
  logFatal(message);
  std::string line(message);
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace tilo
