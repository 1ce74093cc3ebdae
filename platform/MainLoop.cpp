#include "platform/MainLoop.h"

#include <algorithm>

namespace tilo::platform {

std::shared_ptr<MainLoop> MainLoop::shared() {
  static const std::shared_ptr<MainLoop>& loop =
      *new std::shared_ptr<MainLoop>(std::make_shared<MainLoop>());
  return loop;
}

namespace {
thread_local bool workerThread = false;
}  // namespace

MainLoop::MainLoop(const Clock& clock) : clock_(clock) {}

bool MainLoop::isWorkerThread() {
  return workerThread;
}

void MainLoop::markWorkerThread() {
  workerThread = true;
}

void MainLoop::post(Task task) {
  {
    std::lock_guard lock(mutex_);
    ready_.push_back(std::move(task));
  }
  wake_.notify_one();
}

void MainLoop::discardPending() {
  for (;;) {
    std::deque<Task> ready;
    std::priority_queue<Delayed, std::vector<Delayed>, std::greater<>> delayed;
    {
      std::lock_guard lock(mutex_);
      ready.swap(ready_);
      delayed.swap(delayed_);
    }
    if (ready.empty() && delayed.empty()) return;
  }
}

void MainLoop::postDelayed(Task task, double seconds) {
  {
    std::lock_guard lock(mutex_);
    delayed_.push(
        Delayed{clock_.uptime() + (seconds > 0 ? seconds : 0), sequence_++, std::move(task)});
  }
  wake_.notify_one();
}

bool MainLoop::run() {
  if (!claimMainThread()) return false;
  loop([] { return false; }, -1);
  return true;
}

bool MainLoop::runUntil(const std::function<bool()>& predicate, double timeoutSeconds) {
  if (!claimMainThread()) return false;
  if (predicate()) return true;
  loop(predicate, clock_.uptime() + std::max(timeoutSeconds, 0.0));
  return predicate();
}

bool MainLoop::runFor(double seconds) {
  if (!claimMainThread()) return false;
  loop([] { return false; }, clock_.uptime() + std::max(seconds, 0.0));
  return true;
}

void MainLoop::stop() {
  {
    std::lock_guard lock(mutex_);
    stopRequested_ = true;
  }
  wake_.notify_all();
}

bool MainLoop::claimMainThread() {
  std::lock_guard lock(mutex_);
  if (!mainThread_) mainThread_ = std::this_thread::get_id();
  return *mainThread_ == std::this_thread::get_id();
}

bool MainLoop::isMainThread() const {
  std::lock_guard lock(mutex_);
  if (!mainThread_) {
    if (workerThread) return false;
    mainThread_ = std::this_thread::get_id();
  }
  return std::this_thread::get_id() == *mainThread_;
}

void MainLoop::moveDueWork(double now) {
  while (!delayed_.empty() && delayed_.top().due <= now) {
    ready_.push_back(std::move(const_cast<Delayed&>(delayed_.top()).task));
    delayed_.pop();
  }
}

void MainLoop::loop(const std::function<bool()>& done, double deadline) {
  std::unique_lock lock(mutex_);
  moveDueWork(clock_.uptime());
  // The first pass is owed to the work that is ready now, whatever the deadline.
  std::size_t owed = ready_.size();
  while (!stopRequested_) {
    const double now = clock_.uptime();
    if (owed == 0 && deadline >= 0 && now >= deadline) break;
    moveDueWork(now);
    if (!ready_.empty()) {
      Task task = std::move(ready_.front());
      ready_.pop_front();
      if (owed > 0) --owed;
      lock.unlock();
      runTask(task, "main");
      task = nullptr;  // captured state goes before the predicate looks
      const bool finished = done();
      lock.lock();
      if (finished) break;
      continue;
    }
    double wakeAt = deadline;
    if (!delayed_.empty() && (wakeAt < 0 || delayed_.top().due < wakeAt)) {
      wakeAt = delayed_.top().due;
    }
    if (wakeAt < 0) {
      wake_.wait(lock);
    } else {
      wake_.wait_for(lock, std::chrono::duration<double>(wakeAt - now));
    }
  }
  stopRequested_ = false;
}

}  // namespace tilo::platform
