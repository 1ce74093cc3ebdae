// The real main loop with real threads (runs under ThreadSanitizer too). Short real
// waits here are the thing under test: the production loop's own run-for and timers.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/Environment.h"
#include "platform/MainLoop.h"

using namespace tilo::platform;

TEST(MainLoopThreads, RunsWorkPostedFromBackgroundThreadsOnTheMainThread) {
  auto loop = std::make_shared<MainLoop>();
  std::atomic<int> onMain{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) loop->post([&] { onMain += loop->isMainThread() ? 1 : 0; });
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_TRUE(loop->runUntil([&] { return onMain.load() == 200; }, 10));
}

TEST(MainLoopThreads, StopFromAnotherThreadEndsRun) {
  auto loop = std::make_shared<MainLoop>();
  std::atomic<bool> ran{false};
  loop->postDelayed([&] { ran = true; }, 0.01);
  std::thread stopper([&] {
    while (!ran.load()) std::this_thread::yield();
    loop->stop();
  });
  loop->run();
  stopper.join();
  EXPECT_TRUE(ran.load());
}

TEST(BackgroundPoolThreads, ProductionEnvironmentRunsTasksOffTheMainThread) {
  // Each background task reports back to the main loop, as SDK tasks do.
  auto loop = MainLoop::shared();
  int done = 0, offMain = 0;
  bool delayed = false;
  for (int i = 0; i < 100; ++i) {
    postBackground([&] {
      const bool main = isMainThread();
      postToMain([&, main] {
        ++done;
        offMain += main ? 0 : 1;
      });
    });
  }
  Environment::current()
      .backgroundExecutor(TaskPriority::utility)
      ->postDelayed([&] { postToMain([&] { delayed = true; }); }, 0.005);
  EXPECT_TRUE(loop->runUntil([&] { return done == 100 && delayed; }, 10));
  EXPECT_EQ(offMain, 100);
}
