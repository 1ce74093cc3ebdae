#include "platform/ThreadName.h"

#include <pthread.h>

#include <mutex>
#include <utility>
#include <vector>

namespace tilo::platform {

void setThreadName(std::thread& thread, const std::string& name) {
  // A name over 15 bytes is refused outright rather than cut, so cut it here.
  pthread_setname_np(thread.native_handle(), name.substr(0, 15).c_str());
}

namespace {
struct Finishing {
  std::thread thread;
  std::shared_ptr<std::atomic<bool>> finished;
};
std::mutex finishingMutex;
std::vector<Finishing>& finishingThreads() {
  static auto* threads = new std::vector<Finishing>();  // threads may hand over during exit
  return *threads;
}
}  // namespace

void adoptFinishingThread(std::thread thread, std::shared_ptr<std::atomic<bool>> finished) {
  std::vector<Finishing> done;
  {
    std::lock_guard lock(finishingMutex);
    auto& threads = finishingThreads();
    for (auto it = threads.begin(); it != threads.end();) {
      if (it->finished->load()) {
        done.push_back(std::move(*it));
        it = threads.erase(it);
      } else {
        ++it;
      }
    }
    threads.push_back(Finishing{std::move(thread), std::move(finished)});
  }
  for (auto& entry : done) entry.thread.join();  // past its last step: returns at once
}

void joinFinishingThreads() {
  for (;;) {
    std::vector<Finishing> threads;
    {
      std::lock_guard lock(finishingMutex);
      threads.swap(finishingThreads());
    }
    if (threads.empty()) return;
    for (auto& entry : threads) {
      if (entry.thread.get_id() == std::this_thread::get_id()) {
        entry.thread.detach();  // cannot wait for itself
      } else {
        entry.thread.join();
      }
    }
  }
}

}  // namespace tilo::platform
