// The platform's part of the SDK's shutdown: after it no thread the platform started is
// left and nothing waits on the main loop or the pool.
//
//   platform::shutdownThreads();   // on the main thread, once the SDK's objects are gone
//
// Called outside a task of the pool or the HTTP thread (it joins them). Posts made later
// to the pool, and requests sent later, are dropped; the main loop still takes posts, so
// its owner should discard them (MainLoop::discardPending) if it keeps running.
#pragma once

namespace tilo::platform {

void shutdownThreads();

}  // namespace tilo::platform
