// Labelled serial and concurrent queues over the environment's background pool.
//
//   auto io = SerialQueue::create("com.tilo.crashmarker.fileio", TaskPriority::utility);
//   io->sync([&] { writeFlag(); });            // blocks until earlier work is done
//   auto state = ConcurrentQueue::create("com.tilo.banner.sync");
//   state->asyncBarrier([&] { value = 1; });   // exclusive write
//   int v = state->sync([&] { return value; }); // ordered after the barrier
//
// sync runs its block on the caller's thread once the queue has reached it, as GCD
// does. It never needs a free pool worker: the caller itself runs the work queued ahead
// of it that has not started yet, and waits only while a block of the queue is already
// running on another thread. So every pool worker, and the main thread, may sync on the
// same queue at once without starving each other. Async work still runs on the pool.
//
// An exception escaping an async block is reported through the task failure handler
// (Environment.h) and the queue goes on; one escaping a sync block reaches the sync
// caller, and the queue goes on too.
//
// Warning: sync from inside a block of the same queue that runs on this thread (directly
// or through other queues' blocks) runs inline instead of deadlocking, and then is not
// ordered behind pending work.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>

#include "platform/Executor.h"

namespace tilo::platform {

struct Waiter;

// sync() that hands back the block's value, for any queue with a void sync().
template <class Queue>
class ReturningSync {
 public:
  template <class F>
  auto sync(F&& block) -> std::enable_if_t<!std::is_void_v<decltype(block())>, decltype(block())> {
    std::optional<decltype(block())> result;
    static_cast<Queue*>(this)->sync(std::function<void()>([&] { result.emplace(block()); }));
    return std::move(*result);
  }
};

class SerialQueue final : public Executor,
                          public ReturningSync<SerialQueue>,
                          public std::enable_shared_from_this<SerialQueue> {
 public:
  static std::shared_ptr<SerialQueue> create(std::string label,
                                             TaskPriority priority = TaskPriority::utility);
  SerialQueue(std::string label, TaskPriority priority);

  const std::string& label() const { return label_; }
  void async(Task task) { post(std::move(task)); }
  void post(Task task) override;
  // Ahead of every waiting block that was not posted this way (behind those that were):
  // an answer that frees queued work should not wait behind that work.
  void postUrgent(Task task);
  void postDelayed(Task task, double seconds) override;
  // Runs `task` at once on the calling thread when the queue is idle, else posts it: for
  // short work whose hand-off to a pool thread would cost more than the work itself. The
  // task must not wait for the caller, nor take a lock the caller may hold.
  void runOrPost(Task task);
  void sync(const std::function<void()>& block);
  using ReturningSync<SerialQueue>::sync;
  // True while a block of this queue runs on the calling thread.
  bool isCurrent() const;

 private:
  struct Item {
    Task task;
    Waiter* waiter = nullptr;  // a sync caller's place in the line instead of a task
    bool urgent = false;
  };
  void postDrain();  // requires lock
  void drain();
  // Called by the thread that runs the queue when it is done (requires lock): the turn
  // goes to the first sync caller in line, else a drain job takes what is left.
  void passOn();
  void runItem(Item& item, std::unique_lock<std::mutex>& lock);

  std::string label_;
  TaskPriority priority_;
  std::mutex mutex_;
  std::deque<Item> items_;
  std::size_t waiters_ = 0;   // sync callers in items_
  bool running_ = false;      // a thread runs the queue's work now, or has been handed it
  bool drainPosted_ = false;  // a drain job waits in the pool
};

class ConcurrentQueue final : public Executor,
                              public ReturningSync<ConcurrentQueue>,
                              public std::enable_shared_from_this<ConcurrentQueue> {
 public:
  static std::shared_ptr<ConcurrentQueue> create(std::string label,
                                                 TaskPriority priority = TaskPriority::utility);
  ConcurrentQueue(std::string label, TaskPriority priority);

  const std::string& label() const { return label_; }
  void async(Task task) { post(std::move(task)); }
  void post(Task task) override;
  void postDelayed(Task task, double seconds) override;
  // Runs alone: after every earlier block and before every later one.
  void asyncBarrier(Task task);
  // A read: may overlap other reads, never a barrier.
  void sync(const std::function<void()>& block);
  using ReturningSync<ConcurrentQueue>::sync;

 private:
  struct Item {
    Task task;
    bool barrier;
    Waiter* waiter = nullptr;  // a sync caller's place in the line instead of a task
  };
  void enqueue(Item item);
  void pump();  // requires lock
  void runNext();
  // Takes the head task when it may start now and counts it as running (requires lock).
  bool startHead(Item& item);
  void finished(bool barrier);
  void finishedLocked(bool barrier);

  std::string label_;
  TaskPriority priority_;
  std::mutex mutex_;
  std::condition_variable changed_;  // a block ended or the head of the line moved
  std::deque<Item> items_;
  int running_ = 0;
  bool barrierRunning_ = false;
  std::size_t scheduledRunners_ = 0;
};

// An operation queue with one concurrent operation: a serial queue under another name.
class OperationQueue {
 public:
  static std::shared_ptr<OperationQueue> create(std::string name);
  explicit OperationQueue(std::string name);
  void addOperation(Task task) { queue_->async(std::move(task)); }
  // Runs before the operations waiting now (a very high queue priority).
  void addUrgentOperation(Task task) { queue_->postUrgent(std::move(task)); }
  // Blocks until every operation added so far has finished; the caller runs those that
  // have not started yet.
  void waitUntilAllOperationsAreFinished() {
    queue_->sync([] {});
  }
  const std::shared_ptr<SerialQueue>& queue() const { return queue_; }

 private:
  std::shared_ptr<SerialQueue> queue_;
};

}  // namespace tilo::platform
