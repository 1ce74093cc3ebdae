#include "platform/ThreadPool.h"

#include "platform/Clock.h"
#include "platform/MainLoop.h"
#include "platform/ThreadName.h"

namespace tilo::platform {
namespace {
double uptimeNow() {
  return systemClock().uptime();
}

class LaneExecutor final : public Executor {
 public:
  LaneExecutor(ThreadPool* pool, TaskPriority priority) : pool_(pool), priority_(priority) {}
  void post(Task task) override { pool_->post(std::move(task), priority_); }
  void postDelayed(Task task, double seconds) override {
    pool_->postDelayed(self_, std::move(task), seconds);
  }
  std::weak_ptr<Executor> self_;

 private:
  ThreadPool* pool_;
  TaskPriority priority_;
};
}  // namespace

ThreadPool::ThreadPool(unsigned threads) {
  for (int lane = 0; lane < 3; ++lane) {
    auto executor = std::make_shared<LaneExecutor>(this, static_cast<TaskPriority>(lane));
    executor->self_ = executor;
    executors_[lane] = executor;
  }
  for (unsigned i = 0; i < threads; ++i) {
    workers_.emplace_back([this] { work(); });
    setThreadName(workers_.back(), "tilo-pool-" + std::to_string(i));
  }
  timer_ = std::thread([this] { timerLoop(); });
  setThreadName(timer_, "tilo-timer");
}

ThreadPool::~ThreadPool() {
  shutdown();
}

void ThreadPool::shutdown() {
  std::lock_guard joining(joinMutex_);
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  timerWake_.notify_all();
  for (auto& worker : workers_) {
    if (worker.joinable()) worker.join();
  }
  if (timer_.joinable()) timer_.join();
  // Dropped outside the lock: a task's captures may post again, which is dropped in turn.
  for (;;) {
    std::deque<Task> lanes[3];
    std::priority_queue<Delayed, std::vector<Delayed>, std::greater<>> delayed;
    {
      std::lock_guard lock(mutex_);
      for (int lane = 0; lane < 3; ++lane) lanes[lane].swap(lanes_[lane]);
      delayed.swap(delayed_);
    }
    if (lanes[0].empty() && lanes[1].empty() && lanes[2].empty() && delayed.empty()) return;
  }
}

void ThreadPool::post(Task task, TaskPriority priority) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;  // `task` is destroyed after the lock is released
    lanes_[static_cast<int>(priority)].push_back(std::move(task));
  }
  wake_.notify_one();
}

void ThreadPool::postDelayed(std::weak_ptr<Executor> target, Task task, double seconds) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    delayed_.push(Delayed{uptimeNow() + (seconds > 0 ? seconds : 0), sequence_++, std::move(target),
                          std::move(task)});
  }
  timerWake_.notify_one();
}

std::shared_ptr<Executor> ThreadPool::executor(TaskPriority priority) {
  return executors_[static_cast<int>(priority)];
}

void ThreadPool::work() {
  MainLoop::markWorkerThread();
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] {
      return stopping_ || !lanes_[0].empty() || !lanes_[1].empty() || !lanes_[2].empty();
    });
    if (stopping_) return;
    for (int lane = 2; lane >= 0; --lane) {
      if (lanes_[lane].empty()) continue;
      Task task = std::move(lanes_[lane].front());
      lanes_[lane].pop_front();
      lock.unlock();
      runTask(task, "background");
      task = nullptr;  // captured state goes outside the lock too
      lock.lock();
      break;
    }
  }
}

void ThreadPool::timerLoop() {
  MainLoop::markWorkerThread();
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    if (delayed_.empty()) {
      timerWake_.wait(lock);
      continue;
    }
    const double now = uptimeNow();
    if (delayed_.top().due > now) {
      timerWake_.wait_for(lock, std::chrono::duration<double>(delayed_.top().due - now));
      continue;
    }
    auto due = std::make_unique<Delayed>(std::move(const_cast<Delayed&>(delayed_.top())));
    delayed_.pop();
    lock.unlock();
    if (auto target = due->target.lock()) target->post(std::move(due->task));
    due.reset();  // a dropped task's captures may post again: never under the lock
    lock.lock();
  }
}

}  // namespace tilo::platform
