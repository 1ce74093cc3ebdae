// Serial and concurrent queues, deterministic under the mock environment and on real
// threads (this file also runs under ThreadSanitizer).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/DispatchQueue.h"
#include "platform/Environment.h"
#include "platform/HttpClient.h"
#include "platform/TestEnvironment.h"
#include "platform/ThreadName.h"
#include "platform/ThreadPool.h"
#include "support/PoolEnvironment.h"

using namespace tilo::platform;

// A sync block after earlier work, and a read after a barrier write: the tests on real
// threads below, which see the same order.
TEST(QueuesMock, WorkPostedFromASyncBlockUrgentWorkAndRunOrPost) {
  TestEnvironment env;
  auto queue = SerialQueue::create("com.tilo.test.serial");
  std::vector<int> order;
  // Work posted inside a sync block runs once the block is over; urgent work goes ahead of
  // what waits, in the order it came.
  queue->sync([&] { queue->async([&] { order.push_back(4); }); });
  env.runUntilIdle();
  EXPECT_EQ(order, (std::vector<int>{4}));
  queue->async([&] { order.push_back(5); });
  queue->postUrgent([&] { order.push_back(6); });
  queue->postUrgent([&] { order.push_back(7); });
  env.runUntilIdle();
  EXPECT_EQ(order, (std::vector<int>{4, 6, 7, 5}));
  // runOrPost: at once on an idle queue, as the queue; behind waiting work otherwise.
  order.clear();
  queue->runOrPost([&] {
    order.push_back(queue->isCurrent() ? 8 : -8);
    queue->async([&] { order.push_back(9); });
  });
  queue->runOrPost([&] { order.push_back(10); });
  EXPECT_EQ(order, (std::vector<int>{8}));
  env.runUntilIdle();
  EXPECT_EQ(order, (std::vector<int>{8, 9, 10}));
}

TEST(SerialQueueThreads, RunsOneAtATimeInOrderWhetherPostedOrSyncedFromManyThreads) {
  auto queue = SerialQueue::create("com.tilo.test.order");
  std::vector<int> seen;  // guarded by the queue itself
  std::atomic<int> running{0}, maxRunning{0};
  auto block = [&](int i) {
    return [&, i] {
      int now = ++running;
      maxRunning = std::max(maxRunning.load(), now);
      seen.push_back(i);
      --running;
    };
  };
  for (int i = 0; i < 200; ++i) queue->async(block(i));
  queue->sync([] {});
  ASSERT_EQ(seen.size(), 200u);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(seen[i], i);
  // Eight threads mixing async and sync: no deadlock, nothing lost, never two at once.
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i) i % 3 ? queue->sync(block(i)) : queue->async(block(i));
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(queue->sync([&] { return seen.size(); }), 1800u);
  EXPECT_EQ(maxRunning.load(), 1);
}

TEST(ConcurrentQueueThreads, ReadsNeverOverlapABarrier) {
  auto queue = ConcurrentQueue::create("com.tilo.native.sync");
  std::atomic<int> readers{0};
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
            ++readers;
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

namespace {
// Runs `body` on its own thread; false when it has not returned within `seconds`, which is
// how a deadlock shows here instead of hanging the suite (the stuck thread is left behind).
bool finishesWithin(double seconds, std::function<void()> body) {
  auto done = std::make_shared<std::promise<void>>();
  auto finished = done->get_future();
  std::thread([done, body = std::move(body)] {
    body();
    done->set_value();
  }).detach();
  return finished.wait_for(std::chrono::duration<double>(seconds)) == std::future_status::ready;
}
// Spins until `done` holds, under the same guard.
bool eventually(std::function<bool()> done) {
  return finishesWithin(20, [done] {
    while (!done()) std::this_thread::yield();
  });
}
}  // namespace

TEST(QueuesOnOneWorker, SyncNeverNeedsAFreeWorker) {
  // The only worker is held by a gate while work is queued behind it, so a sync that
  // waited for the pool to drain the queue would wait forever.
  tilo::test::PoolEnvironment oneWorker(1);
  auto serial = SerialQueue::create("com.tilo.crashmarker.fileio");
  auto concurrent = ConcurrentQueue::create("com.tilo.banner.sync");
  // Shared with the holding task, which may still be leaving its loop when the test ends.
  auto open = std::make_shared<std::atomic<bool>>(false);
  auto holdTheWorker = [open] {
    *open = false;
    postBackground([open] {
      while (!open->load()) std::this_thread::yield();
    });
  };

  // 1. A pool task syncs on a serial queue whose drain job is queued behind it: it runs
  //    the earlier block itself, then its own.
  std::vector<std::string> order;  // written only by the queue's blocks
  std::atomic<bool> synced{false};
  holdTheWorker();
  postBackground([&] {
    serial->sync([&] { order.push_back("sync"); });
    synced = true;
  });
  serial->async([&] { order.push_back("async"); });
  *open = true;
  ASSERT_TRUE(eventually([&] { return synced.load(); }));
  EXPECT_EQ(order, (std::vector<std::string>{"async", "sync"}));

  // 2. The same with a barrier write and a read on a concurrent queue: the read sees it.
  int value = 0;
  std::atomic<int> seen{-1};
  holdTheWorker();
  postBackground([&] { seen = concurrent->sync([&] { return value; }); });
  concurrent->asyncBarrier([&] { value = 7; });
  *open = true;
  ASSERT_TRUE(eventually([&] { return seen.load() != -1; }));
  EXPECT_EQ(seen.load(), 7);

  // 3. A thread outside the pool (the host's main thread) does not wait for the held
  //    worker either, on any queue kind or an operation queue.
  holdTheWorker();
  serial->async([&] { order.push_back("async 2"); });
  concurrent->asyncBarrier([&] { value = 8; });
  auto operations = OperationQueue::create("com.tilo.adeventlogger");
  operations->addOperation([&] { order.push_back("operation"); });
  EXPECT_TRUE(finishesWithin(20, [&] {
    serial->sync([&] { order.push_back("sync 2"); });
    EXPECT_EQ(concurrent->sync([&] { return value; }), 8);
    operations->waitUntilAllOperationsAreFinished();
  }));
  *open = true;
  EXPECT_EQ(order, (std::vector<std::string>{"async", "sync", "async 2", "sync 2", "operation"}));
}

TEST(ThreadPoolThreads, AFreeWorkerTakesTheMostUrgentLaneFirst) {
  ThreadPool pool(1);
  std::atomic<bool> open{false};
  std::mutex mutex;
  std::vector<TaskPriority> order;  // guarded by `mutex`
  pool.post(
      [&] {
        while (!open.load()) std::this_thread::yield();
      },
      TaskPriority::userInitiated);
  // Queued behind the held worker, the least urgent first.
  for (auto lane : {TaskPriority::background, TaskPriority::utility, TaskPriority::userInitiated}) {
    pool.post(
        [&, lane] {
          std::lock_guard lock(mutex);
          order.push_back(lane);
        },
        lane);
  }
  open = true;
  ASSERT_TRUE(eventually([&] {
    std::lock_guard lock(mutex);
    return order.size() == 3;
  }));
  std::lock_guard lock(mutex);
  EXPECT_EQ(order, (std::vector<TaskPriority>{TaskPriority::userInitiated, TaskPriority::utility,
                                              TaskPriority::background}));
}

TEST(SerialQueueThreads, SyncFromItsOwnBlockRunsInlineOnThatThread) {
  auto queue = SerialQueue::create("com.tilo.test.reentrant");
  std::vector<std::string> order;  // written only by the queue's blocks
  std::thread::id outer, inner;
  queue->async([] {});  // some earlier work, so the outer sync really waits for its turn
  ASSERT_TRUE(finishesWithin(10, [&] {
    queue->sync([&] {
      outer = std::this_thread::get_id();
      order.push_back("outer");
      queue->sync([&] {
        inner = std::this_thread::get_id();
        order.push_back("inner");
      });
      order.push_back("after");
    });
  }));
  EXPECT_EQ(order, (std::vector<std::string>{"outer", "inner", "after"}));
  EXPECT_EQ(inner, outer);
}

TEST(TaskFailureThreads, AThrowingTaskIsReportedAndItsExecutorGoesOn) {
  std::mutex mutex;
  std::vector<std::string> reports;
  setTaskFailureHandler([&](const std::string& where, const std::string& what) {
    std::lock_guard lock(mutex);
    reports.push_back(where + ": " + what);
  });
  auto serial = SerialQueue::create("com.tilo.test.failing");
  auto concurrent = ConcurrentQueue::create("com.tilo.test.failing.concurrent");

  // 1. Async blocks and pool tasks: reported under their executor's name; later work runs.
  serial->async([] { throw std::runtime_error("serial boom"); });
  concurrent->asyncBarrier([] { throw std::runtime_error("barrier boom"); });
  postBackground([] { throw std::runtime_error("pool boom"); });
  ASSERT_TRUE(finishesWithin(10, [&] {
    EXPECT_EQ(serial->sync([] { return 1; }), 1);
    EXPECT_EQ(concurrent->sync([] { return 2; }), 2);
  }));
  // Enough tasks to reach every worker: none died with the throwing task.
  std::atomic<int> ran{0};
  for (int i = 0; i < 64; ++i) postBackground([&] { ++ran; });
  ASSERT_TRUE(eventually([&] { return ran.load() == 64; }));

  // 2. A throwing sync block: the caller gets the exception and the queue stays usable.
  EXPECT_THROW(serial->sync([] { throw std::runtime_error("sync boom"); }), std::runtime_error);
  EXPECT_THROW(concurrent->sync([] { throw std::runtime_error("read boom"); }), std::runtime_error);
  EXPECT_TRUE(finishesWithin(10, [&] {
    serial->sync([] {});
    concurrent->asyncBarrier([] {});
    concurrent->sync([] {});
  }));

  // The pool's report may still be on its way from another worker.
  EXPECT_TRUE(eventually([&] {
    std::lock_guard lock(mutex);
    return reports.size() >= 3;
  }));
  setTaskFailureHandler(nullptr);
  std::lock_guard lock(mutex);
  std::sort(reports.begin(), reports.end());
  EXPECT_EQ(reports, (std::vector<std::string>{"background: pool boom",
                                               "com.tilo.test.failing.concurrent: barrier boom",
                                               "com.tilo.test.failing: serial boom"}));
}

namespace {
// name of every thread of this process, by thread id, read from /proc as a debugger would.
std::map<std::string, std::string> threadNames() {
  std::map<std::string, std::string> names;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream comm(task.path() / "comm");
    std::string name;
    std::getline(comm, name);
    names[task.path().filename().string()] = name;
  }
  return names;
}
}  // namespace

TEST(SdkThreads, EveryThreadThePlatformStartsCarriesATiloNameAndIsJoinedAtShutdown) {
  // A sanitizer's runtime starts a helper thread with the first thread of the process; one
  // thread started and joined first leaves only the platform's to count.
  std::thread([] {}).join();
  const auto before = threadNames();
  const auto startedSince = [&before] {
    std::vector<std::string> started;
    for (const auto& [tid, name] : threadNames()) {
      if (!before.count(tid)) started.push_back(name);
    }
    std::sort(started.begin(), started.end());
    return started;
  };
  ThreadPool pool(3);
  auto http = HttpClient::create();
  EXPECT_EQ(startedSince(), (std::vector<std::string>{"tilo-http", "tilo-pool-0", "tilo-pool-1",
                                                      "tilo-pool-2", "tilo-timer"}));
  pool.shutdown();
  pool.post([] {}, TaskPriority::userInitiated);  // dropped, starts nothing
  EXPECT_EQ(startedSince(), std::vector<std::string>{"tilo-http"});

  // A client released from its own completion cannot join its thread there: the thread is
  // handed over, and the shutdown's join leaves nothing behind.
  HttpRequest request;
  request.url = "http://127.0.0.1:1/";  // refused at once
  request.timeoutSeconds = 0;           // no timer on the process-wide pool
  auto completed = std::make_shared<std::promise<void>>();
  auto done = completed->get_future();
  http->send(request, [client = http, completed](HttpResult) mutable {
    client.reset();  // the last owner: the client goes on its own thread
    completed->set_value();
  });
  http.reset();
  ASSERT_EQ(done.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  joinFinishingThreads();
  EXPECT_EQ(startedSince(), std::vector<std::string>{});
}
