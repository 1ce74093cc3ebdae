#include "platform/Timer.h"

#include "platform/Environment.h"

namespace tilo::platform {

std::shared_ptr<Timer> Timer::scheduled(double interval, bool repeats,
                                        std::function<void()> block) {
  auto timer = std::make_shared<Timer>(interval, repeats, std::move(block));
  timer->arm();
  return timer;
}

Timer::Timer(double interval, bool repeats, std::function<void()> block)
    : interval_(interval), repeats_(repeats), block_(std::move(block)) {
  ++live_;
}

Timer::~Timer() {
  --live_;
  invalidate();
}

void Timer::invalidate() {
  valid_.store(false);
}

void Timer::arm() {
  std::weak_ptr<Timer> weak = weak_from_this();
  Environment::current().mainExecutor()->postDelayed(
      [weak] {
        if (auto timer = weak.lock()) timer->fire();
      },
      interval_);
}

void Timer::fire() {
  if (!valid_.load()) return;
  // Keep ourselves alive while the block runs: it may drop the owner's reference.
  auto self = shared_from_this();
  auto block = block_;
  // Rearmed however the block ends: a block that throws once does not stop the timer.
  struct Rearm {
    Timer& timer;
    ~Rearm() {
      if (!timer.repeats_) {
        timer.valid_.store(false);
      } else if (timer.valid_.load()) {
        timer.arm();
      }
    }
  } rearm{*this};
  block();
}

}  // namespace tilo::platform
