// Serial and concurrent queues, deterministic under the mock environment and on real
// threads (this file also runs under ThreadSanitizer).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/DispatchQueue.h"
#include "platform/TestEnvironment.h"

using namespace tilo::platform;

TEST(SerialQueueMock, SyncRunsEarlierWorkFirstThenTheBlock) {
  TestEnvironment env;
  auto queue = SerialQueue::create("com.tilo.test.serial");
  std::vector<int> order;
  queue->async([&] { order.push_back(1); });
  queue->async([&] { order.push_back(2); });
  queue->sync([&] { order.push_back(3); });
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  env.runUntilIdle();
  EXPECT_EQ(order.size(), 3u) << "drained work never runs twice";
  EXPECT_EQ(queue->sync([] { return 42; }), 42);
}

TEST(ConcurrentQueueMock, ReadAfterBarrierWriteSeesTheWrite) {
  TestEnvironment env;
  auto queue = ConcurrentQueue::create("com.tilo.banner.sync");
  int state = 0;
  queue->asyncBarrier([&] { state = 7; });
  EXPECT_EQ(queue->sync([&] { return state; }), 7);
  env.runUntilIdle();
  EXPECT_EQ(state, 7);
}

TEST(SerialQueueThreads, RunsOneAtATimeInOrderAcrossThreads) {
  auto queue = SerialQueue::create("com.tilo.test.order");
  std::vector<int> seen;  // guarded by the queue itself
  std::atomic<int> concurrent{0}, maxConcurrent{0};
  for (int i = 0; i < 200; ++i) {
    queue->async([&, i] {
      int now = ++concurrent;
      maxConcurrent = std::max(maxConcurrent.load(), now);
      seen.push_back(i);
      --concurrent;
    });
  }
  queue->sync([] {});
  EXPECT_EQ(maxConcurrent.load(), 1);
  ASSERT_EQ(seen.size(), 200u);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(seen[i], i);
}

TEST(SerialQueueThreads, SyncFromManyThreadsNeverDeadlocksOrInterleaves) {
  auto queue = SerialQueue::create("com.tilo.crashmarker.fileio");
  int counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        if (i % 3 == 0) {
          queue->async([&] { ++counter; });
        } else {
          queue->sync([&] { ++counter; });
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(queue->sync([&] { return counter; }), 1600);
}

TEST(ConcurrentQueueThreads, ReadsOverlapButNeverABarrier) {
  auto queue = ConcurrentQueue::create("com.tilo.native.sync");
  std::atomic<int> readers{0}, maxReaders{0};
  std::atomic<bool> barrierActive{false}, overlapped{false};
  int value = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 100; ++i) {
        if ((i + t) % 10 == 0) {
          queue->asyncBarrier([&] {
            if (readers.load() != 0) overlapped = true;
            barrierActive = true;
            ++value;
            barrierActive = false;
          });
        } else {
          queue->sync([&] {
            if (barrierActive.load()) overlapped = true;
            int now = ++readers;
            maxReaders = std::max(maxReaders.load(), now);
            std::this_thread::yield();
            --readers;
          });
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(queue->sync([&] { return value; }), 40);
  EXPECT_FALSE(overlapped.load());
}

TEST(OperationQueueThreads, WaitUntilAllOperationsAreFinished) {
  auto queue = OperationQueue::create("AdEventLogger");
  std::atomic<int> done{0};
  for (int i = 0; i < 100; ++i) queue->addOperation([&] { ++done; });
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(done.load(), 100);
}
