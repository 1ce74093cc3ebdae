// The real main loop with real threads (runs under ThreadSanitizer too). Short real
// waits here are the thing under test: the production loop's own run-for and timers.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "platform/Environment.h"
#include "platform/MainLoop.h"

using namespace tilo::platform;

TEST(MainLoopThreads, APoolThreadThatAsksFirstNeverTakesTheMainRoleFromTheHost) {
  // A background task may touch the loop before the host does (an HTTP answer posting its
  // result): the host's thread must still be the main thread when it first calls in.
  auto loop = std::make_shared<MainLoop>();
  std::atomic<int> workerAnswer{-1};
  postBackground([&] { workerAnswer = loop->isMainThread() ? 1 : 0; });
  while (workerAnswer.load() < 0) std::this_thread::yield();
  EXPECT_EQ(workerAnswer.load(), 0);
  EXPECT_TRUE(loop->isMainThread());
}

TEST(MainLoopThreads, TheMainThreadOnceChosenNeverChanges) {
  // 1. Chosen by its first run: runs from another thread are refused and run nothing.
  auto loop = std::make_shared<MainLoop>();
  EXPECT_TRUE(loop->runFor(0));
  std::thread::id ranOn;
  loop->post([&] { ranOn = std::this_thread::get_id(); });
  std::thread([&] {
    EXPECT_FALSE(loop->runFor(0));
    bool asked = false;
    EXPECT_FALSE(loop->runUntil([&] { return asked = true; }, 0));
    EXPECT_FALSE(asked);
    EXPECT_FALSE(loop->isMainThread());
  }).join();
  EXPECT_EQ(ranOn, std::thread::id());
  EXPECT_TRUE(loop->runFor(0));
  EXPECT_EQ(ranOn, std::this_thread::get_id());

  // 2. Chosen by the first thread that asks, before any run.
  auto asked = std::make_shared<MainLoop>();
  EXPECT_TRUE(asked->isMainThread());
  std::thread([&] { EXPECT_FALSE(asked->runFor(0)); }).join();
  EXPECT_TRUE(asked->runFor(0));

  // 3. A thread that pumps first keeps the role; the test thread is refused from then on.
  auto pumped = std::make_shared<MainLoop>();
  std::thread([&] { EXPECT_TRUE(pumped->runFor(0)); }).join();
  EXPECT_FALSE(pumped->isMainThread());
  EXPECT_FALSE(pumped->runFor(0));
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

// A loop on a mock clock that only the tasks move: the deadline is reached by work, never
// by waiting.
TEST(MainLoopDeadlines, RunForAndRunUntilReturnAtTheirDeadlineWhileWorkKeepsComing) {
  MockClock clock;
  MainLoop loop(clock);
  int runs = 0, budget = 0;
  bool pending = false;
  // Reposts itself while its budget lasts (a budget, so that a broken loop fails instead
  // of spinning forever).
  std::function<void()> busy = [&] {
    pending = false;
    ++runs;
    clock.advance(0.125);
    if (--budget > 0) {
      pending = true;
      loop.post(busy);
    }
  };
  auto keepBusy = [&](int tasks) {
    runs = 0;
    budget = tasks;
    if (!pending) loop.post(busy);
    pending = true;
  };

  // 1. runFor: eight tasks of 1/8 s fill one second; the ninth waits for the next run.
  keepBusy(1000);
  loop.runFor(1.0);
  EXPECT_EQ(runs, 8);

  // 2. runUntil with a predicate that never holds gives up at its deadline, with false.
  keepBusy(1000);
  EXPECT_FALSE(loop.runUntil([] { return false; }, 0.5));
  EXPECT_EQ(runs, 4);

  // 3. What is ready when a run starts runs even with no time left; a delayed task that
  //    is not due yet stays.
  keepBusy(1);
  bool delayedRan = false;
  loop.postDelayed([&] { delayedRan = true; }, 5);
  loop.runFor(0);
  EXPECT_EQ(runs, 1);
  EXPECT_FALSE(delayedRan);

  // 4. stop() before a run makes that run return at once; the next one runs what is due.
  loop.stop();
  clock.advance(5);
  loop.runFor(0);
  EXPECT_FALSE(delayedRan);
  loop.runFor(0);
  EXPECT_TRUE(delayedRan);
}
