// One-shot and repeating timers that fire on the main thread.
//
//   timer_ = Timer::scheduled(5.0, /*repeats=*/true, [weak = weak_from_this()] {
//     if (auto self = weak.lock()) self->tick();
//   });
//
// The caller owns the timer: releasing the last reference invalidates it, so a timer
// never outlives its owner. Times run on Environment::current().clock().
#pragma once

#include <atomic>
#include <functional>
#include <memory>

namespace tilo::platform {

class Timer : public std::enable_shared_from_this<Timer> {
 public:
  static std::shared_ptr<Timer> scheduled(double interval, bool repeats,
                                          std::function<void()> block);
  ~Timer();

  // Stops the timer for good; safe from any thread and more than once.
  void invalidate();
  bool isValid() const { return valid_.load(); }
  double interval() const { return interval_; }

  // Timer objects alive in the process, for tests that prove an owner left none behind.
  static long liveCount() { return live_.load(); }

  Timer(double interval, bool repeats, std::function<void()> block);

 private:
  void arm();
  void fire();

  double interval_;
  bool repeats_;
  std::function<void()> block_;
  std::atomic<bool> valid_{true};
  static inline std::atomic<long> live_{0};
};

}  // namespace tilo::platform
