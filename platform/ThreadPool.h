// The real background executor: a fixed set of worker threads serving three priority
// lanes, plus one timer thread for delayed posts. Internal to the platform layer; the
// process-wide pool is never destroyed (see Environment), because threads it does not
// own (HTTP workers) may post to it while the process exits. shutdown() joins its threads
// instead: from then on every post is dropped.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <queue>
#include <thread>
#include <vector>

#include "platform/Executor.h"

namespace tilo::platform {

class ThreadPool {
 public:
  explicit ThreadPool(unsigned threads);
  ~ThreadPool();
  ThreadPool(const ThreadPool&) = delete;
  // Lets the task each worker runs finish, joins every thread and drops what waits; later
  // posts are dropped at once. Idempotent; never from one of the pool's own threads.
  void shutdown();
  ThreadPool& operator=(const ThreadPool&) = delete;

  void post(Task task, TaskPriority priority);
  // Posts to `target` once `seconds` of monotonic time have passed.
  void postDelayed(std::weak_ptr<Executor> target, Task task, double seconds);
  // An executor view of one priority lane.
  std::shared_ptr<Executor> executor(TaskPriority priority);

 private:
  struct Delayed {
    double due;
    std::uint64_t sequence;
    std::weak_ptr<Executor> target;
    Task task;
    bool operator>(const Delayed& other) const {
      return due != other.due ? due > other.due : sequence > other.sequence;
    }
  };
  void work();
  void timerLoop();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable timerWake_;
  std::deque<Task> lanes_[3];
  std::priority_queue<Delayed, std::vector<Delayed>, std::greater<>> delayed_;
  std::uint64_t sequence_ = 0;
  bool stopping_ = false;
  std::mutex joinMutex_;  // one shutdown joins, a concurrent one waits for it
  std::vector<std::thread> workers_;
  std::thread timer_;
  std::shared_ptr<Executor> executors_[3];
};

}  // namespace tilo::platform
