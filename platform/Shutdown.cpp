#include "platform/Shutdown.h"

#include "platform/Environment.h"
#include "platform/HttpClient.h"
#include "platform/MainLoop.h"
#include "platform/ThreadName.h"

namespace tilo::platform {

void shutdownThreads() {
  auto loop = MainLoop::shared();
  loop->discardPending();
  // The HTTP thread first: its cancelled completions still reach a running pool, so their
  // owners settle (an upload that did not finish keeps its events) before the pool stops.
  HttpClient::shutdownShared();
  Environment::shutdownSystem();
  joinFinishingThreads();
  loop->discardPending();
}

}  // namespace tilo::platform
