// The process-wide runtime: clock, main executor and background pool.
//
// Production code asks Environment::current() for everything time- or thread-related.
// A TestEnvironment installs itself for its lifetime, so the same code runs on a mock
// clock with every executor drained deterministically on the test thread.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Clock.h"
#include "platform/Executor.h"  // also runTask and the task failure handler

namespace tilo::platform {

class Environment {
 public:
  virtual ~Environment() = default;

  // The installed test environment, else the real one (created on first use).
  static Environment& current();

  virtual Clock& clock() = 0;
  // The main thread's executor (the main loop). Host callbacks, views and timers run here.
  virtual std::shared_ptr<Executor> mainExecutor() = 0;
  // The shared pool for background tasks; serial and concurrent queues run on it.
  virtual std::shared_ptr<Executor> backgroundExecutor(
      TaskPriority priority = TaskPriority::userInitiated) = 0;
  virtual bool isMainThread() const = 0;

  // Joins the threads of the real environment's pool, if it was ever made, and drops the
  // work that waits there; later background posts are dropped. For the SDK's shutdown.
  static void shutdownSystem();

 protected:
  static void install(Environment* environment);
  static void uninstall(Environment* environment);
};

// The pool's size is fixed when it starts: `threads` workers (0: the default, the cores
// from 2 to kDefaultPoolThreadLimit). False once the pool runs, and nothing changes.
inline constexpr unsigned kDefaultPoolThreadLimit = 4;
bool setPoolThreadLimit(unsigned threads);

// Whether this process is a child forked after the real environment's threads started:
// none of them followed it, and locks they held stay held, so the child touches nothing
// they share. Tests install their own environment and never see it set.
bool isForkedChild();

// Convenience wrappers used throughout the SDK.
inline double now() {
  return Environment::current().clock().now();
}
inline bool isMainThread() {
  return Environment::current().isMainThread();
}
// Runs `task` on the main thread: inline when already there, else posted.
void runOnMain(Task task);
// Always posts to the main thread, even from it.
void postToMain(Task task);
// Starts an asynchronous background task.
void postBackground(Task task, TaskPriority priority = TaskPriority::userInitiated);

// Host code never runs while the SDK holds one of its locks: a host callback (the log
// callback included) may call straight back into the SDK, which would then wait for a
// lock its own thread holds. Code that calls out while holding a lock opens a scope
// first:
//
//   HeldLockScope held;              // declared before the lock, so it ends after it
//   std::lock_guard lock(mutex_);
//   log("...");                      // reaches the log callback once `held` has ended
//
// Reactive deliveries (Reactive.h) hold one around every subscriber call.
class HeldLockScope {
 public:
  HeldLockScope();
  // The outermost scope of the thread runs, in order, what was deferred inside it.
  ~HeldLockScope();
  HeldLockScope(const HeldLockScope&) = delete;
  HeldLockScope& operator=(const HeldLockScope&) = delete;
};
// True inside a HeldLockScope on the calling thread.
bool isHoldingLock();
// Runs `task` now, or, inside a HeldLockScope, on this thread right after the outermost
// one ends. Either way through runTask.
void runOutsideLocks(Task task);

}  // namespace tilo::platform
