#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <stdexcept>
#include <thread>

#include "Tilo/base/MainThreadCheck.h"
#include "Tilo/base/TiloLogger.h"
#include "Tilo/entry/TiloAds.h"
#include "platform/Reactive.h"
#include "platform/TestEnvironment.h"
#include "support/SdkFixture.h"

namespace tilo {
namespace {

class LoggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
  }
  void TearDown() override { setCurrentLogLevel(TiloLogLevel::off); }
};

TEST_F(LoggerTest, LevelsFilterAndLineFormat) {
  platform::TestEnvironment env(1767225600.125);  // 2026-01-01 00:00:00.125 UTC
  env.advance(3723.5);                            // 01:02:03.625

  // Each level prints what it lets through, labelled with the message's level.
  const std::string debug = "[TILO] 01:02:03.625 DEBUG 🚀 SDK 초기화 시작";
  const std::string error = "[TILO] 01:02:03.625 ERROR boom";
  const std::pair<TiloLogLevel, std::string> cases[] = {
      {TiloLogLevel::off, ""},
      {TiloLogLevel::error, error + "\n"},
      {TiloLogLevel::debug, debug + "\n" + error + "\n"}};
  ScopedLogCapture capture;
  for (const auto& [level, printed] : cases) {
    setCurrentLogLevel(level);
    testing::internal::CaptureStdout();
    log("🚀 SDK 초기화 시작", TiloLogLevel::debug);
    log("boom", TiloLogLevel::error);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), printed) << description(level);
  }
  EXPECT_EQ(capture.lines(), (std::vector<std::string>{error, debug, error}));
}

TEST_F(LoggerTest, TimeStampRawValuesAndOrdering) {
  // Milliseconds padded to three digits, no date, truncated: never into the next day.
  EXPECT_EQ(formatLogTime(1767225600.0 + 23 * 3600 + 59 * 60 + 59.999), "23:59:59.999");
  EXPECT_EQ(formatLogTime(1767225600.007), "00:00:00.007");
  EXPECT_EQ(formatLogTime(1767311999.9996), "23:59:59.999");

  EXPECT_EQ(tiloLogLevelFromRawValue(0), TiloLogLevel::off);
  EXPECT_EQ(tiloLogLevelFromRawValue(-1), std::nullopt);
  EXPECT_EQ(description(TiloLogLevel::off), "");
}

// The host's switch on TiloAds is the logger's level; an error escaping any task of the
// SDK becomes an error line instead of ending the process.
TEST_F(LoggerTest, TheSdkOwnsTheLevelAndReportsEscapedErrors) {
  test::SdkFixture sdk(test::SdkFixtureOptions::offline());
  auto& ads = *TiloAds::shared();
  ads.setLogLevel(TiloLogLevel::error);
  EXPECT_EQ(currentLogLevel(), TiloLogLevel::error);
  EXPECT_EQ(ads.logLevel(), TiloLogLevel::error);

  ScopedLogCapture capture;
  bool after = false;
  platform::postToMain([] { throw std::runtime_error("boom"); });
  platform::postToMain([&] { after = true; });
  sdk.env().runUntilIdle();
  EXPECT_TRUE(after);
  EXPECT_EQ(capture.count("ERROR Task failed on main: boom"), 1u);
}

// A host's log callback may call back into the SDK: a line logged while the SDK holds a
// lock reaches it on the same thread right after the outermost lock is released.
TEST_F(LoggerTest, LinesLoggedUnderALockReachTheSinkAfterItsRelease) {
  platform::TestEnvironment env;
  setCurrentLogLevel(TiloLogLevel::debug);
  std::vector<std::string> heard;
  setLogSink([&](TiloLogLevel, const std::string& line) {
    heard.push_back(line.substr(line.rfind(' ') + 1) + (platform::isHoldingLock() ? " held" : ""));
  });

  // 1. Nested scopes: nothing until the outer one ends, then every line in order.
  {
    platform::HeldLockScope outer;
    log("first", TiloLogLevel::debug);
    {
      platform::HeldLockScope inner;
      log("second", TiloLogLevel::error);
    }
    EXPECT_TRUE(heard.empty());
  }
  EXPECT_EQ(heard, (std::vector<std::string>{"first", "second"}));

  // 2. A subscriber runs under its subscription's lock: its line comes after it returns.
  heard.clear();
  auto subject = platform::CurrentValueSubject<int>::create();
  auto subscription = subject->publisher().sink([&](const int& value) {
    log("value=" + std::to_string(value), TiloLogLevel::debug);
    heard.push_back("callback returns");
  });
  subject->send(7);
  EXPECT_EQ(heard, (std::vector<std::string>{"callback returns", "value=7"}));

  // 3. Outside any lock a line goes straight through.
  heard.clear();
  log("direct", TiloLogLevel::debug);
  EXPECT_EQ(heard, std::vector<std::string>{"direct"});
  setLogSink(nullptr);
}

// The project's own builds fail loudly where a "main thread only" entry point is called
// elsewhere.
TEST(MainThreadCheckDeathTest, AnotherThreadEndsTheProjectsOwnBuilds) {
#ifndef TILO_STRICT_CHECKS
  GTEST_SKIP() << "a host's build only logs";
#endif
  platform::TestEnvironment env;
  requireMainThread();
  EXPECT_DEATH(std::thread([] { requireMainThread(); }).join(),
               "Main thread only: .*another thread");
}

}  // namespace
}  // namespace tilo
