#include "platform/DispatchQueue.h"

#include "platform/Environment.h"

namespace tilo::platform {

struct Waiter {
  std::condition_variable turn;
  bool go = false;
};

namespace {
thread_local const SerialQueue* currentSerialQueue = nullptr;

// Marks the calling thread as running `queue` for the scope.
class CurrentQueueScope {
 public:
  explicit CurrentQueueScope(const SerialQueue* queue) : previous_(currentSerialQueue) {
    currentSerialQueue = queue;
  }
  ~CurrentQueueScope() { currentSerialQueue = previous_; }

 private:
  const SerialQueue* previous_;
};

// Single-threaded tests: runs, in order and on the caller, what is queued ahead of a sync.
template <class Item, class Run>
void runQueuedInline(std::mutex& mutex, std::deque<Item>& items, const Run& run) {
  for (;;) {
    Item item;
    {
      std::lock_guard lock(mutex);
      if (items.empty()) return;
      item = std::move(items.front());
      items.pop_front();
    }
    if (item.task) run(item.task);
  }
}

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

std::shared_ptr<SerialQueue> SerialQueue::create(std::string label, TaskPriority priority) {
  return std::make_shared<SerialQueue>(std::move(label), priority);
}

SerialQueue::SerialQueue(std::string label, TaskPriority priority)
    : label_(std::move(label)), priority_(priority) {}

bool SerialQueue::isCurrent() const {
  return currentSerialQueue == this;
}

void SerialQueue::post(Task task) {
  std::lock_guard lock(mutex_);
  items_.push_back(Item{std::move(task)});
  schedule();
}

void SerialQueue::postDelayed(Task task, double seconds) {
  std::weak_ptr<SerialQueue> weak = weak_from_this();
  pool(priority_)->postDelayed(
      [weak, task = std::move(task)]() mutable {
        if (auto queue = weak.lock()) queue->post(std::move(task));
      },
      seconds);
}

void SerialQueue::schedule() {
  if (busy_ || items_.empty()) return;
  busy_ = true;
  pool(priority_)->post([self = shared_from_this()] { self->drain(); });
}

void SerialQueue::drain() {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (items_.empty()) {
      busy_ = false;
      return;
    }
    Item item = std::move(items_.front());
    items_.pop_front();
    if (item.waiter) {
      // Hand the queue to the blocked sync caller; it resumes draining when done.
      item.waiter->go = true;
      item.waiter->turn.notify_one();
      return;
    }
    lock.unlock();
    {
      CurrentQueueScope scope(this);
      runTask(item.task, label_);
    }
    item.task = nullptr;  // captured state may post here again: never under the lock
    lock.lock();
  }
}

void SerialQueue::finishExclusive() {
  std::lock_guard lock(mutex_);
  busy_ = false;
  schedule();
}

void SerialQueue::sync(const std::function<void()>& block) {
  if (isCurrent()) {
    block();
    return;
  }
  if (pool(priority_)->isDeterministic()) {
    runQueuedInline(mutex_, items_, [this](const Task& task) {
      CurrentQueueScope scope(this);
      runTask(task, label_);
    });
    CurrentQueueScope scope(this);
    block();
    return;
  }
  {
    std::unique_lock lock(mutex_);
    if (busy_ || !items_.empty()) {
      Waiter waiter;
      items_.push_back(Item{nullptr, &waiter});
      schedule();
      waiter.turn.wait(lock, [&] { return waiter.go; });
    } else {
      busy_ = true;
    }
  }
  TurnGuard release([this] { finishExclusive(); });
  CurrentQueueScope scope(this);
  block();
}

// ---- ConcurrentQueue -----------------------------------------------------------------

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
  // Count the head items that may start now; post one runner for each not yet covered.
  std::size_t startable = 0;
  int running = running_;
  if (!barrierRunning_) {
    for (const Item& item : items_) {
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

void ConcurrentQueue::runNext() {
  Item item;
  {
    std::lock_guard lock(mutex_);
    --scheduledRunners_;
    if (items_.empty() || barrierRunning_) return;
    if (items_.front().barrier && running_ > 0) return;
    item = std::move(items_.front());
    items_.pop_front();
    if (item.barrier) {
      barrierRunning_ = true;
    } else {
      ++running_;
    }
    if (item.waiter) {
      item.waiter->go = true;
      item.waiter->turn.notify_one();
      return;
    }
  }
  runTask(item.task, label_);
  item.task = nullptr;
  finished(item.barrier);
}

void ConcurrentQueue::finished(bool barrier) {
  std::lock_guard lock(mutex_);
  if (barrier) {
    barrierRunning_ = false;
  } else {
    --running_;
  }
  pump();
}

void ConcurrentQueue::sync(const std::function<void()>& block) {
  if (pool(priority_)->isDeterministic()) {
    runQueuedInline(mutex_, items_, [this](const Task& task) { runTask(task, label_); });
    block();
    return;
  }
  {
    std::unique_lock lock(mutex_);
    if (items_.empty() && !barrierRunning_) {
      ++running_;
    } else {
      Waiter waiter;
      items_.push_back(Item{nullptr, false, &waiter});
      pump();
      waiter.turn.wait(lock, [&] { return waiter.go; });
    }
  }
  TurnGuard release([this] { finished(false); });
  block();
}

// ---- OperationQueue ------------------------------------------------------------------

std::shared_ptr<OperationQueue> OperationQueue::create(std::string name) {
  return std::make_shared<OperationQueue>(std::move(name));
}

OperationQueue::OperationQueue(std::string name)
    : queue_(SerialQueue::create(std::move(name), TaskPriority::utility)) {}

}  // namespace tilo::platform
