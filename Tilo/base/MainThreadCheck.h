// Checks the "main thread only" promise of a class at its entry points:
//
//   void TiloHostDrawnNativeAdLoader::loadAd() {
//     requireMainThread();
//     ...
//
// Called from another thread it logs an error line naming the function. In builds without
// NDEBUG (debug and test builds) it then ends the process, so that the mistake cannot pass
// unseen; a release build only logs, as a library never ends its host's process.
#pragma once

#include <source_location>

#include "platform/Environment.h"

namespace tilo {

[[gnu::cold]] void mainThreadViolated(const std::source_location& where);

inline void requireMainThread(std::source_location where = std::source_location::current()) {
  if (!platform::isMainThread()) mainThreadViolated(where);
}

}  // namespace tilo
