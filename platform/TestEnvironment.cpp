#include "platform/TestEnvironment.h"

#include <chrono>

#include "platform/Application.h"

namespace tilo::platform {

class TestEnvironment::QueueExecutor final : public Executor {
 public:
  QueueExecutor(TestEnvironment* environment, bool onMain)
      : environment_(environment), onMain_(onMain) {}
  void post(Task task) override { environment_->enqueue(std::move(task), 0, onMain_); }
  void postDelayed(Task task, double seconds) override {
    environment_->enqueue(std::move(task), seconds, onMain_);
  }

 private:
  TestEnvironment* environment_;
  bool onMain_;
};

TestEnvironment::TestEnvironment(double wallStart)
    : clock_(wallStart),
      testThread_(std::this_thread::get_id()),
      main_(std::make_shared<QueueExecutor>(this, true)),
      background_(std::make_shared<QueueExecutor>(this, false)) {
  install(this);
  Application::shared().resetForTesting();
}

TestEnvironment::~TestEnvironment() {
  uninstall(this);
  std::map<Key, Entry> dropped;
  {
    std::lock_guard lock(mutex_);
    dropped.swap(tasks_);
  }
  // Destroy captured state outside the lock: destructors may post again.
}

bool TestEnvironment::isMainThread() const {
  std::lock_guard lock(mutex_);
  return std::this_thread::get_id() == testThread_ && !runningBackground_;
}

void TestEnvironment::enqueue(Task task, double delay, bool onMain) {
  // Notified under the lock: an HTTP thread posting while the test ends must be done with
  // the condition variable before the destructor, which takes the lock, destroys it.
  std::lock_guard lock(mutex_);
  const double due = clock_.uptime() + (delay > 0 ? delay : 0);
  tasks_.emplace(Key{due, sequence_++}, Entry{std::move(task), onMain});
  posted_.notify_all();
}

bool TestEnvironment::runOne(double limit) {
  Entry entry;
  {
    std::lock_guard lock(mutex_);
    if (tasks_.empty() || tasks_.begin()->first.due > limit) return false;
    auto first = tasks_.begin();
    clock_.advanceTo(first->first.due);
    entry = std::move(first->second);
    tasks_.erase(first);
  }
  bool previous;
  {
    std::lock_guard lock(mutex_);
    previous = runningBackground_;
    runningBackground_ = !entry.onMain;
  }
  runTask(entry.task, entry.onMain ? "main" : "background");
  entry.task = nullptr;
  {
    std::lock_guard lock(mutex_);
    runningBackground_ = previous;
  }
  return true;
}

void TestEnvironment::runUntilIdle() {
  while (runOne(clock_.uptime())) {
  }
}

void TestEnvironment::advance(double seconds) {
  const double target = clock_.uptime() + seconds;
  while (runOne(target)) {
  }
  clock_.advanceTo(target);
}

bool TestEnvironment::runUntil(const std::function<bool()>& predicate, double realTimeLimit) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::duration<double>(realTimeLimit);
  for (;;) {
    runUntilIdle();
    if (predicate()) return true;
    std::unique_lock lock(mutex_);
    const double now = clock_.uptime();
    const bool ready = posted_.wait_until(
        lock, deadline, [&] { return !tasks_.empty() && tasks_.begin()->first.due <= now; });
    if (!ready) return predicate();
  }
}

bool TestEnvironment::advanceUntil(const std::function<bool()>& predicate, double maxSeconds) {
  const double target = clock_.uptime() + maxSeconds;
  runUntilIdle();
  while (!predicate()) {
    if (!runOne(target)) {
      clock_.advanceTo(target);
      return predicate();
    }
    runUntilIdle();
  }
  return true;
}

std::size_t TestEnvironment::pendingTaskCount() const {
  std::lock_guard lock(mutex_);
  return tasks_.size();
}

std::optional<double> TestEnvironment::nextDelay() const {
  std::lock_guard lock(mutex_);
  if (tasks_.empty()) return std::nullopt;
  const double delay = tasks_.begin()->first.due - clock_.uptime();
  return delay > 0 ? delay : 0;
}

}  // namespace tilo::platform
