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

#include <source_location>

#include "platform/Environment.h"

namespace tilo {

[[gnu::cold]] void mainThreadViolated(const std::source_location& where);

inline void requireMainThread(std::source_location where = std::source_location::current()) {
  if (!platform::isMainThread()) mainThreadViolated(where);
}

}  // namespace tilo
