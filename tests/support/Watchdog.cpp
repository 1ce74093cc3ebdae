#include "support/Watchdog.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace tilo::test {

Watchdog::Watchdog(double seconds, std::string what) {
  thread_ = std::thread([this, seconds, what = std::move(what)] {
    std::unique_lock lock(mutex_);
    if (disarmed_.wait_for(lock, std::chrono::duration<double>(seconds),
                           [this] { return done_; })) {
      return;
    }
    std::fprintf(stderr, "Watchdog: \"%s\" still running after %.0f s (a deadlock?)\n",
                 what.c_str(), seconds);
    std::fflush(stderr);
    std::abort();
  });
}

Watchdog::~Watchdog() {
  {
    std::lock_guard lock(mutex_);
    done_ = true;
  }
  disarmed_.notify_all();
  thread_.join();
}

}  // namespace tilo::test
