#include "tools/demo/DemoEnvironment.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <set>

namespace tilo::demo {

using platform::Task;

// Forwards to the main loop and remembers what is pending there: the count of ready
// tasks and the due times of delayed ones (a cancelled timer's included; skipping to it
// only runs a task that does nothing).
class DemoEnvironment::TrackingExecutor final
    : public platform::Executor,
      public std::enable_shared_from_this<TrackingExecutor> {
 public:
  TrackingExecutor(std::shared_ptr<platform::MainLoop> loop, const platform::Clock& clock)
      : loop_(std::move(loop)), clock_(clock) {}

  void post(Task task) override {
    ++ready_;
    loop_->post([self = shared_from_this(), task = std::move(task)] {
      --self->ready_;
      task();
    });
  }

  void postDelayed(Task task, double seconds) override {
    const double due = clock_.uptime() + std::max(seconds, 0.0);
    {
      std::lock_guard lock(mutex_);
      dues_.insert(due);
    }
    loop_->postDelayed(
        [self = shared_from_this(), due, task = std::move(task)] {
          {
            std::lock_guard lock(self->mutex_);
            self->dues_.erase(self->dues_.find(due));
          }
          task();
        },
        seconds);
  }

  int readyCount() const { return ready_.load(); }
  std::optional<double> nextDue() const {
    std::lock_guard lock(mutex_);
    if (dues_.empty()) return std::nullopt;
    return *dues_.begin();
  }

 private:
  const std::shared_ptr<platform::MainLoop> loop_;
  const platform::Clock& clock_;
  std::atomic<int> ready_{0};
  mutable std::mutex mutex_;
  std::multiset<double> dues_;
};

double DemoEnvironment::SkippingClock::now() const {
  return platform::systemClock().now() + skipped_.load();
}

double DemoEnvironment::SkippingClock::uptime() const {
  return platform::systemClock().uptime() + skipped_.load();
}

void DemoEnvironment::SkippingClock::skip(double seconds) {
  if (seconds > 0) skipped_.store(skipped_.load() + seconds);
}

DemoEnvironment& DemoEnvironment::install() {
  auto* environment = new DemoEnvironment();
  Environment::install(environment);
  return *environment;
}

// The system environment is asked for before this one is installed, so that its pool
// serves the background work.
DemoEnvironment::DemoEnvironment()
    : system_(Environment::current()),
      loop_(std::make_shared<platform::MainLoop>(clock_)),
      main_(std::make_shared<TrackingExecutor>(loop_, clock_)) {}

std::shared_ptr<platform::Executor> DemoEnvironment::mainExecutor() {
  return main_;
}

std::shared_ptr<platform::Executor> DemoEnvironment::backgroundExecutor(
    platform::TaskPriority priority) {
  return system_.backgroundExecutor(priority);
}

bool DemoEnvironment::runUntilSkippingIdle(const std::function<bool()>& done, double limitSeconds) {
  // Long enough for a reply another thread is about to post, short enough to stay quick.
  constexpr double kBreath = 0.002;
  const double end = clock_.uptime() + limitSeconds;
  while (!done() && clock_.uptime() < end) {
    if (loop_->runUntil(done, kBreath)) break;
    const auto next = main_->nextDue();
    const double now = clock_.uptime();
    if (main_->readyCount() == 0 && next && *next > now) clock_.skip(std::min(*next, end) - now);
  }
  return done();
}

}  // namespace tilo::demo
