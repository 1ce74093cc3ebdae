// The demo's runtime when it may skip idle time (TILO_DEMO_SKIP_IDLE=1, as the tests run
// it): the system's background pool, and a main loop on a clock that is the system clock
// plus the idle time skipped so far. runUntilSkippingIdle jumps that clock to the main
// loop's next timer whenever nothing is ready, so the light popup's 6 s pass at once and
// still measure 6 s on the clock the SDK's timers use. Work from other threads (HTTP,
// the pool) keeps real time.
//
//   DemoEnvironment& environment = DemoEnvironment::install();   // before the SDK starts
//   environment.runUntilSkippingIdle([&] { return dismissed; }, 30);
#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "platform/Environment.h"
#include "platform/MainLoop.h"

namespace tilo::demo {

class DemoEnvironment final : public platform::Environment {
 public:
  // Installs one for the rest of the process: the SDK's singletons and the pool's threads
  // may still reach it while the process exits, so it is never destroyed.
  static DemoEnvironment& install();

  platform::Clock& clock() override { return clock_; }
  std::shared_ptr<platform::Executor> mainExecutor() override;
  std::shared_ptr<platform::Executor> backgroundExecutor(platform::TaskPriority priority) override;
  bool isMainThread() const override { return loop_->isMainThread(); }

  // The main loop to run; everything the SDK posts to the main thread arrives here.
  const std::shared_ptr<platform::MainLoop>& loop() const { return loop_; }
  // Runs the main loop until `done` holds or `limitSeconds` passed on the demo's clock,
  // skipping to the next due main-thread task whenever nothing is ready.
  bool runUntilSkippingIdle(const std::function<bool()>& done, double limitSeconds);
  // How far the clock has jumped ahead of the system clock so far.
  double skippedSeconds() const { return clock_.skipped(); }

 private:
  class SkippingClock final : public platform::Clock {
   public:
    double now() const override;
    double uptime() const override;
    void skip(double seconds);
    double skipped() const { return skipped_.load(); }

   private:
    std::atomic<double> skipped_{0};
  };
  class TrackingExecutor;

  DemoEnvironment();

  platform::Environment& system_;
  SkippingClock clock_;
  std::shared_ptr<platform::MainLoop> loop_;
  std::shared_ptr<TrackingExecutor> main_;
};

}  // namespace tilo::demo
