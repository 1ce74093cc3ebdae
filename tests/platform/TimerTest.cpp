// One-shot and repeating timers on the main executor, driven by mock time.
#include "platform/Timer.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/TestEnvironment.h"

using namespace tilo::platform;

TEST(Timer, OneShotFiresAtItsIntervalNotAMillisecondBeforeAndOnce) {
  TestEnvironment env;
  int fired = 0;
  auto timer = Timer::scheduled(1.5, false, [&] { ++fired; });
  env.advance(1.499);
  EXPECT_EQ(fired, 0);
  env.advance(0.001);
  EXPECT_EQ(fired, 1);
  EXPECT_FALSE(timer->isValid());
  env.advance(10);
  EXPECT_EQ(fired, 1);
}

TEST(Timer, RepeatingFiresEveryIntervalUntilInvalidatedOrReleased) {
  TestEnvironment env;
  // 1. Every interval, also after a block that threw (reported, not fatal to the timer).
  std::vector<std::string> reports;
  setTaskFailureHandler([&](const std::string& where, const std::string& what) {
    reports.push_back(where + ": " + what);
  });
  std::vector<double> at;
  auto timer = Timer::scheduled(5, true, [&] {
    at.push_back(env.clock().uptime());
    if (at.size() == 1) throw std::runtime_error("tick boom");
  });
  env.advance(16);
  setTaskFailureHandler(nullptr);
  EXPECT_EQ(at, (std::vector<double>{5, 10, 15}));
  EXPECT_EQ(reports, std::vector<std::string>{"main: tick boom"});

  // 2. Invalidated: no more ticks.
  timer->invalidate();
  env.advance(20);
  EXPECT_EQ(at.size(), 3u);

  // 3. Releasing the owner stops a timer as well.
  int fired = 0;
  const long before = Timer::liveCount();
  auto released = Timer::scheduled(1, true, [&] { ++fired; });
  EXPECT_EQ(Timer::liveCount(), before + 1);
  env.advance(1);
  released.reset();
  EXPECT_EQ(Timer::liveCount(), before);
  env.advance(5);
  EXPECT_EQ(fired, 1);
}
