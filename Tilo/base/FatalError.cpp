#include "Tilo/base/FatalError.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "Tilo/base/TiloLogger.h"

namespace tilo {

void fatalError(std::string_view message) {
  // A host that routes the SDK's lines into its own log must find the last one there too.
  logFatal(message);
  std::string line(message);
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  std::abort();
}

}  // namespace tilo
