#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace tilo::platform {

// Names a thread as debuggers, `top -H` and /proc show it ("tilo-pool-0"), from the
// thread that started it, so the name is there before the thread runs anything. The
// kernel keeps 15 characters; a longer name is cut.
void setThreadName(std::thread& thread, const std::string& name);

// A thread that must end by itself (an object released on its own thread cannot join it)
// is handed over here instead of being detached, so that joinFinishingThreads() can wait
// for it: after that no thread the platform started is left. `finished` is set by the
// thread as its last step; threads already finished are joined on the next hand-over.
void adoptFinishingThread(std::thread thread, std::shared_ptr<std::atomic<bool>> finished);
void joinFinishingThreads();

}  // namespace tilo::platform
