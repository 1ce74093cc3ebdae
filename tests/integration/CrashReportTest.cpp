// Crash reporting across real processes: a forked child sets markers or leaves an ad load
// in flight and is killed with SIGKILL; the next "run" in this process must report each
// crash exactly once, with the child's session, and leave no flag behind.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "Tilo/telemetry/AdEventLogger.h"
#include "Tilo/telemetry/AdLoadTracker.h"
#include "Tilo/telemetry/CrashMarkers.h"
#include "Tilo/telemetry/SessionIdentifier.h"
#include "platform/AppContainer.h"
#include "platform/Application.h"
#include "platform/TestEnvironment.h"
#include "support/TempDir.h"
#include "telemetry/TelemetryFixture.h"

namespace tilo::test {
namespace {

using platform::Json;

constexpr const char* kAppKey = "crash-test-app-key";

// Runs `body` in a forked child, which writes the returned line to a pipe and then waits
// to be killed; the parent kills it with SIGKILL once the line arrives. Returns the line
// ("" when the child died first).
std::string runChildAndKill(const std::function<std::string()>& body) {
  int fds[2];
  if (::pipe(fds) != 0) throw std::runtime_error("pipe");
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    std::string line;
    try {
      line = body() + "\n";
    } catch (...) {
      ::_exit(3);
    }
    if (::write(fds[1], line.data(), line.size()) != static_cast<ssize_t>(line.size())) ::_exit(4);
    for (;;) ::pause();
  }
  ::close(fds[1]);
  std::string line;
  pollfd poller{fds[0], POLLIN, 0};
  char c;
  while (line.empty() || line.back() != '\n') {
    if (::poll(&poller, 1, 30000) <= 0 || ::read(fds[0], &c, 1) != 1) break;
    line += c;
  }
  ::close(fds[0]);
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "child status " << status;
  if (!line.empty()) line.pop_back();
  return line;
}

class CrashReportTest : public ::testing::Test {
 protected:
  CrashReportTest() {
    platform::AppContainer::setPath(container.path());
    setEnableMarkerCheckpoints(true);
  }
  ~CrashReportTest() override {
    AdEventLogger::resetSharedForTesting();
    AppLifecycleObserver::resetSharedForTesting();
    setEnableMarkerCheckpoints(false);
    platform::AppContainer::setPath(std::nullopt);
  }

  // The next start: detection with a logger whose uploads succeed; the events reported.
  std::vector<Json> restartAndDetect() { return detectPreviousCrashes(env, kAppKey); }

  TempDir container;
  platform::TestEnvironment env;
};

TEST_F(CrashReportTest, KilledInsideMarkedPhasesOrAnAdLoadEachCrashIsReportedOnce) {
  // 1. Killed while falling back to the cache after sdk_init and a failed fetch.
  const std::string fetchSession = runChildAndKill([this] {
    setMarker(CrashMarkerCheckpoint::sdkInit);
    env.advance(0.2);
    setMarker(CrashMarkerCheckpoint::configFetch,
              CheckpointMetadata::configFetch(
                  StageResult::failure,
                  CacheStageResult{CacheStageResult::Type::load, StageResult::inProgress}));
    return sessionIdentifier();
  });
  // (A flag left once is reported once: CrashMarkersTest.)
  auto events = restartAndDetect();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0]["sessionId"], fetchSession);
  EXPECT_NE(fetchSession, sessionIdentifier());
  EXPECT_EQ(events[0]["payload"]["checkpoint"], "config_fetch");
  EXPECT_EQ(events[0]["payload"]["metadata"], R"({"phase":"cache_read_progress"})");

  // 2. Killed during an ad load in the background, two seconds before the next start.
  runChildAndKill([] {
    AppLifecycleObserver::ensureShared();
    updateAdLoadPhase("interstitial-unit", "load");
    platform::Application::shared().setState(platform::ApplicationState::background);
    return sessionIdentifier();
  });
  env.advance(2);
  events = restartAndDetect();
  ASSERT_EQ(events.size(), 1u);
  // Tracker crashes carry the session of the run that detects them; the state the host set
  // reached the lifecycle file before the kill (its context and age, and the files removed:
  // CrashMarkersTest).
  EXPECT_EQ(events[0]["sessionId"], sessionIdentifier());
  EXPECT_EQ(events[0]["payload"]["lastLifecycleState"], "background");
}

}  // namespace
}  // namespace tilo::test
