#include "platform/Environment.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/MainLoop.h"
#include "platform/ThreadPool.h"

namespace tilo::platform {
namespace {

std::atomic<bool> forkedChild{false};
std::mutex poolSizeMutex;
unsigned poolThreadLimit = 0;  // under poolSizeMutex; 0: the default
bool poolMade = false;         // under poolSizeMutex

unsigned poolThreads() {
  std::lock_guard lock(poolSizeMutex);
  poolMade = true;
  if (poolThreadLimit > 0) return poolThreadLimit;
  return std::clamp(std::thread::hardware_concurrency(), 2u, kDefaultPoolThreadLimit);
}

class SystemEnvironment final : public Environment {
 public:
  SystemEnvironment() : pool_(poolThreads()) {
    // The pool's threads, and every thread started after them, stay in the parent: a child
    // must not touch what they may have held locked at the fork. Unregistered by the C
    // library when libtilo.so is unloaded.
    pthread_atfork(nullptr, nullptr, [] { forkedChild.store(true, std::memory_order_relaxed); });
  }
  Clock& clock() override { return clock_; }
  std::shared_ptr<Executor> mainExecutor() override { return MainLoop::shared(); }
  std::shared_ptr<Executor> backgroundExecutor(TaskPriority priority) override {
    return pool_.executor(priority);
  }
  bool isMainThread() const override { return MainLoop::shared()->isMainThread(); }
  void shutdown() { pool_.shutdown(); }

 private:
  SystemClock clock_;
  ThreadPool pool_;
};

std::atomic<Environment*> installed{nullptr};
std::atomic<SystemEnvironment*> systemEnvironment{nullptr};

}  // namespace

Environment& Environment::current() {
  if (Environment* environment = installed.load(std::memory_order_acquire)) return *environment;
  // Never destroyed: background threads may still post while the process exits.
  static SystemEnvironment* system = [] {
    auto* made = new SystemEnvironment();
    systemEnvironment.store(made, std::memory_order_release);
    return made;
  }();
  return *system;
}

void Environment::shutdownSystem() {
  if (auto* system = systemEnvironment.load(std::memory_order_acquire)) system->shutdown();
}

bool setPoolThreadLimit(unsigned threads) {
  std::lock_guard lock(poolSizeMutex);
  if (poolMade) return false;
  poolThreadLimit = threads;
  return true;
}

bool isForkedChild() {
  return forkedChild.load(std::memory_order_relaxed);
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

namespace {
// Plain values only: a thread_local with a destructor registers it with the C library,
// which then keeps this library mapped until the thread ends (a host's main thread never
// does), so dlclose could not unload it.
thread_local int heldLockDepth = 0;
thread_local std::vector<Task>* deferredTasks = nullptr;  // made on first deferral
}  // namespace

HeldLockScope::HeldLockScope() {
  ++heldLockDepth;
}

HeldLockScope::~HeldLockScope() {
  if (--heldLockDepth > 0) return;
  // A deferred task may defer more (it may take a lock itself): run until none is left.
  while (heldLockDepth == 0 && deferredTasks) {
    std::unique_ptr<std::vector<Task>> tasks(std::exchange(deferredTasks, nullptr));
    for (auto& task : *tasks) {
      runTask(task, "deferred");
      task = nullptr;
    }
  }
}

bool isHoldingLock() {
  return heldLockDepth > 0;
}

void runOutsideLocks(Task task) {
  if (heldLockDepth > 0) {
    if (!deferredTasks) deferredTasks = new std::vector<Task>();
    deferredTasks->push_back(std::move(task));
  } else {
    runTask(task, "deferred");
  }
}

}  // namespace tilo::platform
