#include "platform/MainLoop.h"

#include "platform/Clock.h"

namespace tilo::platform {
namespace {
const SystemClock& systemClock() {
  static const SystemClock clock;
  return clock;
}
}  // namespace

std::shared_ptr<MainLoop> MainLoop::shared() {
  static const std::shared_ptr<MainLoop> loop = std::make_shared<MainLoop>();
  return loop;
}

MainLoop::MainLoop() : mainThread_(std::this_thread::get_id()) {}

void MainLoop::post(Task task) {
  {
    std::lock_guard lock(mutex_);
    ready_.push_back(std::move(task));
  }
  wake_.notify_one();
}

void MainLoop::postDelayed(Task task, double seconds) {
  {
    std::lock_guard lock(mutex_);
    delayed_.push(Delayed{systemClock().uptime() + (seconds > 0 ? seconds : 0), sequence_++,
                          std::move(task)});
  }
  wake_.notify_one();
}

void MainLoop::run() {
  loop([] { return false; }, -1);
}

bool MainLoop::runUntil(const std::function<bool()>& predicate, double timeoutSeconds) {
  if (predicate()) return true;
  loop(predicate, systemClock().uptime() + timeoutSeconds);
  return predicate();
}

void MainLoop::runFor(double seconds) {
  loop([] { return false; }, systemClock().uptime() + seconds);
}

void MainLoop::stop() {
  {
    std::lock_guard lock(mutex_);
    stopRequested_ = true;
  }
  wake_.notify_all();
}

bool MainLoop::isMainThread() const {
  std::lock_guard lock(mutex_);
  return std::this_thread::get_id() == mainThread_;
}

void MainLoop::loop(const std::function<bool()>& done, double deadline) {
  std::unique_lock lock(mutex_);
  mainThread_ = std::this_thread::get_id();
  stopRequested_ = false;
  while (!stopRequested_) {
    const double now = systemClock().uptime();
    while (!delayed_.empty() && delayed_.top().due <= now) {
      ready_.push_back(std::move(const_cast<Delayed&>(delayed_.top()).task));
      delayed_.pop();
    }
    if (!ready_.empty()) {
      Task task = std::move(ready_.front());
      ready_.pop_front();
      lock.unlock();
      task();
      const bool finished = done();
      lock.lock();
      if (finished) break;
      continue;
    }
    if (deadline >= 0 && now >= deadline) break;
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
