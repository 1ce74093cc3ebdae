#include "platform/DispatchQueue.h"

#include <algorithm>

#include "platform/Environment.h"

namespace tilo::platform {

struct Waiter {
  std::condition_variable turn;
  bool go = false;
};

namespace {
// The queues whose blocks run on this thread, innermost first.
struct RunningQueue {
  const void* queue;
  const RunningQueue* outer;
};
thread_local const RunningQueue* runningQueues = nullptr;

bool runsOnThisThread(const void* queue) {
  for (const RunningQueue* running = runningQueues; running; running = running->outer) {
    if (running->queue == queue) return true;
  }
  return false;
}

// Marks the calling thread as running a block of `queue` for the scope.
class CurrentQueueScope {
 public:
  explicit CurrentQueueScope(const void* queue) : running_{queue, runningQueues} {
    runningQueues = &running_;
  }
  ~CurrentQueueScope() { runningQueues = running_.outer; }
  CurrentQueueScope(const CurrentQueueScope&) = delete;
  CurrentQueueScope& operator=(const CurrentQueueScope&) = delete;

 private:
  RunningQueue running_;
};

// Gives a sync caller's turn back however its block ends; the block's exception then
// reaches the caller, as it would from a plain call.
template <class Release>
class TurnGuard {
 public:
  explicit TurnGuard(Release release) : release_(std::move(release)) {}
  ~TurnGuard() { release_(); }
  TurnGuard(const TurnGuard&) = delete;
  TurnGuard& operator=(const TurnGuard&) = delete;

 private:
  Release release_;
};

std::shared_ptr<Executor> pool(TaskPriority priority) {
  return Environment::current().backgroundExecutor(priority);
}
}  // namespace

// ---- SerialQueue ---------------------------------------------------------------------
//
// One thread at a time runs the queue (running_): a drain job on the pool, or a sync
// caller. When it is done it hands the turn straight to the first sync caller in line,
// which runs whatever was queued ahead of itself and then its block. A drain job is
// posted only for async work nobody waits for, so no sync caller ever depends on a free
// pool worker.

std::shared_ptr<SerialQueue> SerialQueue::create(std::string label, TaskPriority priority) {
  return std::make_shared<SerialQueue>(std::move(label), priority);
}

SerialQueue::SerialQueue(std::string label, TaskPriority priority)
    : label_(std::move(label)), priority_(priority) {}

bool SerialQueue::isCurrent() const {
  return runsOnThisThread(this);
}

void SerialQueue::post(Task task) {
  std::lock_guard lock(mutex_);
  items_.push_back(Item{std::move(task)});
  if (!running_) postDrain();
}

void SerialQueue::postUrgent(Task task) {
  std::lock_guard lock(mutex_);
  auto place =
      std::find_if(items_.begin(), items_.end(), [](const Item& item) { return !item.urgent; });
  items_.insert(place, Item{std::move(task), nullptr, true});
  if (!running_) postDrain();
}

void SerialQueue::runOrPost(Task task) {
  {
    std::lock_guard lock(mutex_);
    if (running_ || !items_.empty()) {
      items_.push_back(Item{std::move(task)});
      if (!running_) postDrain();
      return;
    }
    running_ = true;
  }
  TurnGuard release([this] {
    std::lock_guard lock(mutex_);
    passOn();
  });
  CurrentQueueScope scope(this);
  runTask(task, label_);
}

void SerialQueue::postDelayed(Task task, double seconds) {
  std::weak_ptr<SerialQueue> weak = weak_from_this();
  pool(priority_)->postDelayed(
      [weak, task = std::move(task)]() mutable {
        if (auto queue = weak.lock()) queue->post(std::move(task));
      },
      seconds);
}

void SerialQueue::postDrain() {
  if (drainPosted_) return;
  drainPosted_ = true;
  pool(priority_)->post([self = shared_from_this()] { self->drain(); });
}

void SerialQueue::runItem(Item& item, std::unique_lock<std::mutex>& lock) {
  lock.unlock();
  {
    CurrentQueueScope scope(this);
    runTask(item.task, label_);
  }
  item.task = nullptr;  // captured state may post here again: never under the lock
  lock.lock();
}

void SerialQueue::drain() {
  std::unique_lock lock(mutex_);
  drainPosted_ = false;
  if (running_) return;  // whoever runs the queue passes on what is left
  running_ = true;
  // A sync caller in line takes over at the next block boundary.
  while (waiters_ == 0 && !items_.empty()) {
    Item item = std::move(items_.front());
    items_.pop_front();
    runItem(item, lock);
  }
  passOn();
}

void SerialQueue::passOn() {
  if (waiters_ > 0) {
    for (Item& item : items_) {
      if (!item.waiter) continue;
      item.waiter->go = true;
      item.waiter->turn.notify_one();
      return;
    }
  }
  running_ = false;
  if (!items_.empty()) postDrain();
}

void SerialQueue::sync(const std::function<void()>& block) {
  if (isCurrent()) {
    block();
    return;
  }
  {
    std::unique_lock lock(mutex_);
    Waiter waiter;
    items_.push_back(Item{nullptr, &waiter});
    ++waiters_;
    if (running_) {
      // Another thread runs a block of this queue now; it hands the turn over when done.
      waiter.turn.wait(lock, [&] { return waiter.go; });
    } else {
      running_ = true;
    }
    // Every caller ahead in line has had its turn: only async work is left before ours.
    for (;;) {
      Item item = std::move(items_.front());
      items_.pop_front();
      if (item.waiter == &waiter) break;
      runItem(item, lock);
    }
    --waiters_;
  }
  TurnGuard release([this] {
    std::lock_guard lock(mutex_);
    passOn();
  });
  CurrentQueueScope scope(this);
  block();
}

// ---- ConcurrentQueue -----------------------------------------------------------------
//
// Blocks start in order: reads together, a barrier alone. Runners on the pool start what
// may start; a sync caller starts the work ahead of its own read itself and waits only
// while blocks already running elsewhere keep its turn (or the head) from starting.

std::shared_ptr<ConcurrentQueue> ConcurrentQueue::create(std::string label, TaskPriority priority) {
  return std::make_shared<ConcurrentQueue>(std::move(label), priority);
}

ConcurrentQueue::ConcurrentQueue(std::string label, TaskPriority priority)
    : label_(std::move(label)), priority_(priority) {}

void ConcurrentQueue::post(Task task) {
  enqueue(Item{std::move(task), false});
}

void ConcurrentQueue::asyncBarrier(Task task) {
  enqueue(Item{std::move(task), true});
}

void ConcurrentQueue::postDelayed(Task task, double seconds) {
  std::weak_ptr<ConcurrentQueue> weak = weak_from_this();
  pool(priority_)->postDelayed(
      [weak, task = std::move(task)]() mutable {
        if (auto queue = weak.lock()) queue->post(std::move(task));
      },
      seconds);
}

void ConcurrentQueue::enqueue(Item item) {
  std::lock_guard lock(mutex_);
  items_.push_back(std::move(item));
  pump();
}

void ConcurrentQueue::pump() {
  // Count the head tasks that may start now (up to a sync caller's place, which only its
  // caller takes); post one runner for each not yet covered.
  std::size_t startable = 0;
  int running = running_;
  if (!barrierRunning_) {
    for (const Item& item : items_) {
      if (item.waiter) break;
      if (item.barrier) {
        if (running == 0) ++startable;
        break;
      }
      ++running;
      ++startable;
    }
  }
  while (scheduledRunners_ < startable) {
    ++scheduledRunners_;
    pool(priority_)->post([self = shared_from_this()] { self->runNext(); });
  }
}

bool ConcurrentQueue::startHead(Item& item) {
  if (items_.empty() || barrierRunning_) return false;
  const Item& head = items_.front();
  if (head.waiter || (head.barrier && running_ > 0)) return false;
  item = std::move(items_.front());
  items_.pop_front();
  if (item.barrier) {
    barrierRunning_ = true;
  } else {
    ++running_;
  }
  changed_.notify_all();
  return true;
}

void ConcurrentQueue::runNext() {
  Item item;
  {
    std::lock_guard lock(mutex_);
    --scheduledRunners_;
    if (!startHead(item)) return;
  }
  {
    CurrentQueueScope scope(this);
    runTask(item.task, label_);
  }
  item.task = nullptr;
  finished(item.barrier);
}

void ConcurrentQueue::finished(bool barrier) {
  std::lock_guard lock(mutex_);
  finishedLocked(barrier);
}

void ConcurrentQueue::finishedLocked(bool barrier) {
  if (barrier) {
    barrierRunning_ = false;
  } else {
    --running_;
  }
  changed_.notify_all();
  pump();
}

void ConcurrentQueue::sync(const std::function<void()>& block) {
  if (runsOnThisThread(this)) {
    block();
    return;
  }
  {
    std::unique_lock lock(mutex_);
    Waiter waiter;
    items_.push_back(Item{nullptr, false, &waiter});
    for (;;) {
      if (items_.front().waiter == &waiter) {
        if (!barrierRunning_) {
          items_.pop_front();
          ++running_;
          changed_.notify_all();
          pump();
          break;
        }
      } else if (Item item; startHead(item)) {
        lock.unlock();
        {
          CurrentQueueScope scope(this);
          runTask(item.task, label_);
        }
        item.task = nullptr;
        lock.lock();
        finishedLocked(item.barrier);
        continue;
      }
      // A block running on another thread, or another sync caller at the head, holds
      // the line; either moves on by itself.
      changed_.wait(lock);
    }
  }
  TurnGuard release([this] { finished(false); });
  CurrentQueueScope scope(this);
  block();
}

// ---- OperationQueue ------------------------------------------------------------------

std::shared_ptr<OperationQueue> OperationQueue::create(std::string name) {
  return std::make_shared<OperationQueue>(std::move(name));
}

OperationQueue::OperationQueue(std::string name)
    : queue_(SerialQueue::create(std::move(name), TaskPriority::utility)) {}

}  // namespace tilo::platform
