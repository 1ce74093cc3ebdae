// The main thread's run loop. The host's main thread runs it:
//
//   auto loop = MainLoop::shared();
//   TiloAds::shared()->initialized([&](auto error) { ...; loop->stop(); });
//   loop->run();
//
// Host callbacks, views and timers are delivered here. The main thread is chosen once and
// never changes: the first thread that calls run, runUntil or runFor, or, before any of
// them, the first thread that asks isMainThread() and is not one of the platform's own
// workers (so a pool or HTTP thread that happens to post first never takes the role from
// the host). A run from any other thread afterwards is refused: it returns false at once
// and runs nothing. The shared loop is never destroyed: pool and HTTP threads may still
// post to it while the process exits.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <queue>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "platform/Executor.h"

namespace tilo::platform {

class MainLoop final : public Executor {
 public:
  static std::shared_ptr<MainLoop> shared();

  void post(Task task) override;
  void postDelayed(Task task, double seconds) override;

  // Runs until stop(). False when refused (not the main thread).
  bool run();
  // Runs until `predicate` holds (checked after every task) or `timeoutSeconds` passed on
  // the loop's clock; returns the predicate's last value, false when refused (then the
  // predicate is not asked).
  bool runUntil(const std::function<bool()>& predicate, double timeoutSeconds);
  // Runs for `seconds` on the loop's clock. What is ready when the run starts always
  // runs, so runFor(0) processes one pass; after that the deadline ends the run even
  // while work keeps arriving. False when refused.
  bool runFor(double seconds);
  // Makes the current or next run return after the task in progress.
  void stop();
  // Drops every task that waits, delayed ones included, until none is left (a dropped
  // task's captures may post again). For the SDK's shutdown.
  void discardPending();

  bool isMainThread() const;
  // Called once by each thread the platform starts for itself (pool workers, timers,
  // HTTP): such a thread is never the main thread.
  static void markWorkerThread();
  // Whether the calling thread is one of those.
  static bool isWorkerThread();

  // `clock` times delayed work and deadlines, and must outlive the loop.
  explicit MainLoop(const Clock& clock = systemClock());

 private:
  struct Delayed {
    double due;
    std::uint64_t sequence;
    Task task;
    bool operator>(const Delayed& other) const {
      return due != other.due ? due > other.due : sequence > other.sequence;
    }
  };
  // Makes the calling thread the main thread if there is none yet; true when it is.
  bool claimMainThread();
  // Runs ready and due work until `done` says stop or `deadline` (uptime) passes.
  void loop(const std::function<bool()>& done, double deadline);
  void moveDueWork(double now);  // requires lock

  const Clock& clock_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Task> ready_;
  std::priority_queue<Delayed, std::vector<Delayed>, std::greater<>> delayed_;
  std::uint64_t sequence_ = 0;
  bool stopRequested_ = false;
  mutable std::optional<std::thread::id> mainThread_;  // none until claimed
};

}  // namespace tilo::platform
