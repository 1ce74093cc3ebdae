// Mock-time environment, timers and delayed posts: everything runs on the test thread
// and fast-forwards.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/DispatchQueue.h"
#include "platform/TestEnvironment.h"
#include "platform/Timer.h"

using namespace tilo::platform;

TEST(MockTime, TasksRunInDueOrderAndOnlyWhenDriven) {
  TestEnvironment env;
  std::vector<int> order;
  auto main = env.mainExecutor();
  main->postDelayed([&] { order.push_back(3); }, 3);
  main->postDelayed([&] { order.push_back(1); }, 1);
  main->post([&] { order.push_back(0); });
  env.backgroundExecutor(TaskPriority::utility)->postDelayed([&] { order.push_back(2); }, 2);
  EXPECT_TRUE(order.empty()) << "nothing runs inside post";

  env.runUntilIdle();
  EXPECT_EQ(order, std::vector<int>{0});
  EXPECT_DOUBLE_EQ(*env.nextDelay(), 1.0);

  env.advance(2.5);
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
  EXPECT_DOUBLE_EQ(env.clock().uptime(), 2.5);
  env.advance(10);
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(env.pendingTaskCount(), 0u);
}

TEST(MockTime, ClockReadsDueTimeInsideTasksAndWallTimeMovesWithIt) {
  TestEnvironment env(1000.0);
  double seenUptime = -1, seenWall = -1;
  env.mainExecutor()->postDelayed(
      [&] {
        seenUptime = env.clock().uptime();
        seenWall = env.clock().now();
      },
      4);
  env.advance(9);
  EXPECT_DOUBLE_EQ(seenUptime, 4);
  EXPECT_DOUBLE_EQ(seenWall, 1004);
  EXPECT_DOUBLE_EQ(env.clock().now(), 1009);
}

TEST(MockTime, MainThreadIsTheTestThreadExceptInsideBackgroundTasks) {
  TestEnvironment env;
  bool inMain = false, inBackground = true;
  env.mainExecutor()->post([&] { inMain = isMainThread(); });
  postBackground([&] { inBackground = isMainThread(); });
  env.runUntilIdle();
  EXPECT_TRUE(inMain);
  EXPECT_FALSE(inBackground);
  EXPECT_TRUE(isMainThread());
}

TEST(MockTime, RunUntilWaitsForWorkPostedFromAnotherThread) {
  TestEnvironment env;
  bool delivered = false;
  std::thread other([&] { env.mainExecutor()->post([&] { delivered = true; }); });
  EXPECT_TRUE(env.runUntil([&] { return delivered; }));
  other.join();
  EXPECT_DOUBLE_EQ(env.clock().uptime(), 0) << "waiting for I/O does not move mock time";
}

TEST(Timer, OneShotFiresAtItsIntervalNotAMillisecondBefore) {
  TestEnvironment env;
  int fired = 0;
  auto timer = Timer::scheduled(1.5, false, [&] { ++fired; });
  env.advance(1.499);
  EXPECT_EQ(fired, 0);
  EXPECT_TRUE(timer->isValid());
  env.advance(0.001);
  EXPECT_EQ(fired, 1);
  EXPECT_FALSE(timer->isValid());
  env.advance(10);
  EXPECT_EQ(fired, 1);
}

TEST(Timer, RepeatingFiresEveryIntervalUntilInvalidated) {
  TestEnvironment env;
  std::vector<double> at;
  auto timer = Timer::scheduled(5, true, [&] { at.push_back(env.clock().uptime()); });
  env.advance(16);
  EXPECT_EQ(at, (std::vector<double>{5, 10, 15}));
  timer->invalidate();
  env.advance(20);
  EXPECT_EQ(at.size(), 3u);
}

TEST(Timer, ReleasingTheOwnerStopsTheTimer) {
  TestEnvironment env;
  int fired = 0;
  const long before = Timer::liveCount();
  auto timer = Timer::scheduled(1, true, [&] { ++fired; });
  EXPECT_EQ(Timer::liveCount(), before + 1);
  env.advance(1);
  timer.reset();
  EXPECT_EQ(Timer::liveCount(), before);
  env.advance(5);
  EXPECT_EQ(fired, 1);
}

TEST(MockTime, RetrySeriesOfTwoFourEightSecondsRunsInstantly) {
  TestEnvironment env;
  std::vector<double> attempts;
  std::function<void(double)> attempt = [&](double delay) {
    attempts.push_back(env.clock().uptime());
    if (attempts.size() < 4) {
      env.backgroundExecutor(TaskPriority::userInitiated)
          ->postDelayed([&, delay] { attempt(delay * 2); }, delay);
    }
  };
  postBackground([&] { attempt(2); });
  const auto started = std::chrono::steady_clock::now();
  env.advance(60);
  EXPECT_EQ(attempts, (std::vector<double>{0, 2, 6, 14}));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500));
}

TEST(MockTime, ThrowingTasksAreReportedAndTheQueueGoesOn) {
  TestEnvironment env;
  std::vector<std::string> reports;
  setTaskFailureHandler([&](const std::string& where, std::exception_ptr error) {
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      reports.push_back(where + ": " + e.what());
    }
  });
  std::vector<std::string> ran;
  env.mainExecutor()->post([] { throw std::runtime_error("main boom"); });
  env.mainExecutor()->post([&] { ran.push_back("main"); });
  postBackground([] { throw std::logic_error("background boom"); });
  auto queue = SerialQueue::create("com.tilo.test.mock");
  queue->async([] { throw std::runtime_error("queue boom"); });
  queue->async([&] { ran.push_back("queue"); });
  // A repeating timer whose block throws once keeps firing.
  int ticks = 0;
  auto timer = Timer::scheduled(1, true, [&] {
    if (++ticks == 1) throw std::runtime_error("tick boom");
  });
  env.advance(3);
  setTaskFailureHandler(nullptr);

  EXPECT_EQ(ran, (std::vector<std::string>{"main", "queue"}));
  EXPECT_EQ(ticks, 3);
  EXPECT_EQ(reports,
            (std::vector<std::string>{"main: main boom", "background: background boom",
                                      "com.tilo.test.mock: queue boom", "main: tick boom"}));
}
