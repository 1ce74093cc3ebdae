// Mock-time task environment for tests.
//
//   TEST(Retry, WaitsTwoFourEight) {
//     TestEnvironment env;               // installs itself; the test thread is main
//     startSomethingThatRetries();
//     env.runUntilIdle();                 // runs everything due now
//     env.advance(2.0);                   // runs timers and delays due within 2 s, in order
//   }
//
// One queue ordered by (due time, post order) holds the work of the main executor and of
// every background executor; it runs only on the test thread, when the test drives it.
// Work posted from other threads (an HTTP completion) joins the same queue; runUntil
// waits for it in real time, bounded by a safety limit.
//
// Tasks run through runTask, as on the real executors: an exception escaping one goes to
// the task failure handler and the queue goes on.
//
// Warning: create it before the objects under test and destroy them first; pending
// tasks are dropped with the environment.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/Clock.h"
#include "platform/Environment.h"

namespace tilo::platform {

class TestEnvironment final : public Environment {
 public:
  explicit TestEnvironment(double wallStart = 1767225600.0);
  ~TestEnvironment() override;
  TestEnvironment(const TestEnvironment&) = delete;
  TestEnvironment& operator=(const TestEnvironment&) = delete;

  Clock& clock() override { return clock_; }
  MockClock& mockClock() { return clock_; }
  std::shared_ptr<Executor> mainExecutor() override { return main_; }
  std::shared_ptr<Executor> backgroundExecutor(TaskPriority) override { return background_; }
  // True on the test thread, except while a background task runs.
  bool isMainThread() const override;

  // Runs every task that is due now, including tasks posted while running.
  void runUntilIdle();
  // Runs, in time order, every task due within `seconds`, moving the clock to each due
  // time; the clock ends exactly `seconds` later.
  void advance(double seconds);
  // Runs due work until `predicate` holds, waiting in real time (at most
  // `realTimeLimit` seconds) for work posted from other threads. The mock clock does
  // not move. Returns the predicate's value.
  bool runUntil(const std::function<bool()>& predicate, double realTimeLimit = 30);
  // Advances the mock clock from one due task to the next until `predicate` holds or
  // `maxSeconds` of mock time passed. Returns the predicate's value.
  bool advanceUntil(const std::function<bool()>& predicate, double maxSeconds);

  std::size_t pendingTaskCount() const;
  // Seconds until the earliest pending task, if any.
  std::optional<double> nextDelay() const;

 private:
  class QueueExecutor;
  struct Key {
    double due;
    std::uint64_t sequence;
    bool operator<(const Key& other) const {
      return due != other.due ? due < other.due : sequence < other.sequence;
    }
  };
  struct Entry {
    Task task;
    bool onMain;
  };
  void enqueue(Task task, double delay, bool onMain);
  // Runs the earliest task due at or before `limit`; false when there is none.
  bool runOne(double limit);

  MockClock clock_;
  mutable std::mutex mutex_;
  std::condition_variable posted_;
  std::map<Key, Entry> tasks_;
  std::uint64_t sequence_ = 0;
  std::thread::id testThread_;
  bool runningBackground_ = false;
  std::shared_ptr<Executor> main_;
  std::shared_ptr<Executor> background_;
};

}  // namespace tilo::platform
