#include "platform/Environment.h"

#include <algorithm>
#include <atomic>

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

}  // namespace tilo::platform
