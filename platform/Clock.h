// Time source for every timestamp, timer, delay and timeout in the SDK.
//
//   double created = Environment::current().clock().now();   // wall seconds since 1970
//
// Nothing reads std::chrono directly: tests swap in MockClock through TestEnvironment
// and fast-forward instead of sleeping.
#pragma once

#include <mutex>

namespace tilo::platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Wall-clock time, seconds since 1970-01-01 UTC (fractional).
  virtual double now() const = 0;
  // Monotonic seconds since an arbitrary origin; drives timers and delays.
  virtual double uptime() const = 0;
};

class SystemClock final : public Clock {
 public:
  double now() const override;
  double uptime() const override;
};

// The process's one real clock. Never destroyed: pool and HTTP threads may still read it
// while the process exits.
const Clock& systemClock();

// Stands still until advanced. Thread-safe.
class MockClock final : public Clock {
 public:
  explicit MockClock(double wallStart = 1767225600.0) : wallStart_(wallStart) {}
  double now() const override;
  double uptime() const override;
  void advance(double seconds);
  // Moves monotonic time to `uptime` (never backwards).
  void advanceTo(double uptime);
  // Shifts wall time only, as a user changing the system clock would.
  void setWallTime(double now);

 private:
  mutable std::mutex mutex_;
  double wallStart_;
  double elapsed_ = 0;
};

}  // namespace tilo::platform
