#include "Tilo/base/FatalError.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace tilo {

void fatalError(std::string_view message) {
  std::string line(message);
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  std::abort();
}

}  // namespace tilo
