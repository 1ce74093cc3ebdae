// Ends the test process with a message when a scope outlives its deadline: how a deadlock
// shows in a test that runs on real threads, instead of hanging the suite until the
// runner's timeout. Nothing waits for it: the guarded work finishes on its own, and the
// deadline only bounds a failure.
//
//   Watchdog watchdog(120, "32 concurrent loads");
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace tilo::test {

class Watchdog {
 public:
  Watchdog(double seconds, std::string what);
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable disarmed_;
  bool done_ = false;
  std::thread thread_;
};

}  // namespace tilo::test
