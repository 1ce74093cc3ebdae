#include "platform/Environment.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/MainLoop.h"
#include "platform/ThreadPool.h"

namespace tilo::platform {
namespace {

class SystemEnvironment final : public Environment {
 public:
  SystemEnvironment() : pool_(std::max(4u, std::thread::hardware_concurrency())) {}
  Clock& clock() override { return clock_; }
  std::shared_ptr<Executor> mainExecutor() override { return MainLoop::shared(); }
  std::shared_ptr<Executor> backgroundExecutor(TaskPriority priority) override {
    return pool_.executor(priority);
  }
  bool isMainThread() const override { return MainLoop::shared()->isMainThread(); }

 private:
  SystemClock clock_;
  ThreadPool pool_;
};

std::atomic<Environment*> installed{nullptr};

// Never destroyed, like the executors whose threads report here.
struct FailureReporting {
  std::mutex mutex;
  std::shared_ptr<const TaskFailureHandler> handler;
  std::atomic<std::uint64_t> count{0};
};
FailureReporting& failureReporting() {
  static FailureReporting& reporting = *new FailureReporting();
  return reporting;
}

}  // namespace

Environment& Environment::current() {
  if (Environment* environment = installed.load(std::memory_order_acquire)) return *environment;
  // Never destroyed: background threads may still post while the process exits.
  static SystemEnvironment* system = new SystemEnvironment();
  return *system;
}

void Environment::install(Environment* environment) {
  installed.store(environment, std::memory_order_release);
}

void Environment::uninstall(Environment* environment) {
  Environment* expected = environment;
  installed.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
}

void runOnMain(Task task) {
  auto& environment = Environment::current();
  if (environment.isMainThread()) {
    task();
  } else {
    environment.mainExecutor()->post(std::move(task));
  }
}

void postToMain(Task task) {
  Environment::current().mainExecutor()->post(std::move(task));
}

void postBackground(Task task, TaskPriority priority) {
  Environment::current().backgroundExecutor(priority)->post(std::move(task));
}

void setTaskFailureHandler(TaskFailureHandler handler) {
  auto shared = handler ? std::make_shared<const TaskFailureHandler>(std::move(handler)) : nullptr;
  auto& reporting = failureReporting();
  std::lock_guard lock(reporting.mutex);
  reporting.handler = std::move(shared);
}

std::uint64_t taskFailureCount() {
  return failureReporting().count.load();
}

void runTask(const Task& task, std::string_view where) noexcept {
  try {
    if (task) task();
    return;
  } catch (...) {
    auto& reporting = failureReporting();
    ++reporting.count;
    std::shared_ptr<const TaskFailureHandler> handler;
    {
      std::lock_guard lock(reporting.mutex);
      handler = reporting.handler;
    }
    if (!handler) return;
    try {
      (*handler)(std::string(where), std::current_exception());
    } catch (...) {
    }
  }
}

namespace {
struct HeldLocks {
  int depth = 0;
  std::vector<Task> deferred;
};
thread_local HeldLocks heldLocks;
}  // namespace

HeldLockScope::HeldLockScope() {
  ++heldLocks.depth;
}

HeldLockScope::~HeldLockScope() {
  if (--heldLocks.depth > 0) return;
  // A deferred task may defer more (it may take a lock itself): run until none is left.
  while (heldLocks.depth == 0 && !heldLocks.deferred.empty()) {
    auto tasks = std::exchange(heldLocks.deferred, {});
    for (auto& task : tasks) {
      runTask(task, "deferred");
      task = nullptr;
    }
  }
}

bool isHoldingLock() {
  return heldLocks.depth > 0;
}

void runOutsideLocks(Task task) {
  if (heldLocks.depth > 0) {
    heldLocks.deferred.push_back(std::move(task));
  } else {
    runTask(task, "deferred");
  }
}

}  // namespace tilo::platform
