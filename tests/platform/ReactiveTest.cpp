// Subjects, operators and the main-loop timeout, on mock time.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/Reactive.h"
#include "platform/TestEnvironment.h"

using namespace tilo::platform;

TEST(Subject, ReplaysCurrentValueAndStopsOnCancel) {
  auto empty = CurrentValueSubject<int>::create();
  std::vector<int> seen;
  {
    Subscription s = empty->publisher().sink([&](int v) { seen.push_back(v); });
    EXPECT_TRUE(seen.empty()) << "an empty subject replays nothing";
    empty->send(1);
    empty->send(2);
  }
  empty->send(3);
  EXPECT_EQ(seen, (std::vector<int>{1, 2}));
  EXPECT_EQ(empty->subscriberCount(), 0u);

  auto held = CurrentValueSubject<bool>::create(false);
  std::vector<bool> flags;
  Subscription s = held->publisher().sink([&](bool v) { flags.push_back(v); });
  EXPECT_EQ(flags, std::vector<bool>{false});
}

TEST(Subject, OperatorsChainAsExpected) {
  auto info = CurrentValueSubject<std::optional<std::string>>::create();
  auto ready = CurrentValueSubject<bool>::create(false);
  std::vector<std::string> seen;
  Subscription s = combineLatest(info->publisher().dropEmpty(),
                                 ready->publisher().filter([](bool v) { return v; }))
                       .map([](const std::pair<std::string, bool>& p) { return p.first; })
                       .removeDuplicates()
                       .sink([&](const std::string& v) { seen.push_back(v); });
  info->send(std::nullopt);
  info->send(std::string("a"));
  EXPECT_TRUE(seen.empty()) << "nothing until both sides delivered";
  ready->send(true);
  info->send(std::string("a"));
  info->send(std::string("b"));
  ready->send(false);
  EXPECT_EQ(seen, (std::vector<std::string>{"a", "b"}));
}

// The deadline itself, three seconds after the subscription or the last value and not a
// millisecond before: SynchronizerTest's WaitsEndWithTheUnitOrThreeSecondsAfterTheirOwnStart.
TEST(Timeout, FailsOnceWithNoValueAfterAndNeverOnceCancelled) {
  TestEnvironment env;
  auto subject = CurrentValueSubject<int>::create();
  std::vector<int> values;
  std::string failure;
  Subscription s =
      subject->publisher()
          .timeout(3, "Timeout occurred")
          .sink([&](int v) { values.push_back(v); }, [&](const Error& e) { failure = e; });
  bool cancelledFailed = false;
  Subscription cancelled = subject->publisher()
                               .timeout(3, "Timeout occurred")
                               .sink([](int) {}, [&](const Error&) { cancelledFailed = true; });
  cancelled.cancel();
  subject->send(1);
  env.advance(3);
  EXPECT_EQ(failure, "Timeout occurred");
  subject->send(2);
  EXPECT_EQ(values, std::vector<int>{1}) << "no value after the failure";
  EXPECT_FALSE(cancelledFailed) << "a cancelled subscription never fails";
}

TEST(SubjectThreads, ConcurrentSendersAndSubscribersAreSafe) {
  auto subject = CurrentValueSubject<int>::create(0);
  std::atomic<int> received{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        Subscription s = subject->publisher().sink([&](int) { ++received; });
        subject->send(i);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_GE(received.load(), 800);
  EXPECT_EQ(subject->subscriberCount(), 0u);
}
