#include "platform/Clock.h"

#include <chrono>

namespace tilo::platform {

double SystemClock::now() const {
  using namespace std::chrono;
  return duration<double>(system_clock::now().time_since_epoch()).count();
}

double SystemClock::uptime() const {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

const Clock& systemClock() {
  static const Clock& clock = *new SystemClock();
  return clock;
}

double MockClock::now() const {
  std::lock_guard lock(mutex_);
  return wallStart_ + elapsed_;
}

double MockClock::uptime() const {
  std::lock_guard lock(mutex_);
  return elapsed_;
}

void MockClock::advance(double seconds) {
  std::lock_guard lock(mutex_);
  if (seconds > 0) elapsed_ += seconds;
}

void MockClock::advanceTo(double uptime) {
  std::lock_guard lock(mutex_);
  if (uptime > elapsed_) elapsed_ = uptime;
}

void MockClock::setWallTime(double now) {
  std::lock_guard lock(mutex_);
  wallStart_ = now - elapsed_;
}

}  // namespace tilo::platform
