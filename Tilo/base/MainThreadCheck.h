// Checks the "main thread only" promise of a class at its entry points:
//
//   void TiloHostDrawnNativeAdLoader::loadAd() {
//     requireMainThread();
//     ...
//
// Called from another thread it logs an error line naming the function. Only the project's
// own builds (its presets set TILO_STRICT_CHECKS) then end the process, so that the mistake
// cannot pass its tests unseen; a library built by a host, debug or release, only logs, as a
// library never ends its host's process.
#pragma once

#include "platform/Environment.h"

namespace tilo {

[[gnu::cold]] void mainThreadViolated(const char* function);

// The caller's name through the builtin both compilers have: Clang 14 has no
// std::source_location.
inline void requireMainThread(const char* function = __builtin_FUNCTION()) {
  if (!platform::isMainThread()) mainThreadViolated(function);
}

}  // namespace tilo
