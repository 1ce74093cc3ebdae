// A host that returns from main while an upload is in flight: a real process on the real
// main loop, pool and HTTP client, against a loopback backend that answers the upload
// only once the host is exiting. The process must exit with status 0 and print nothing on
// standard error (no "pure virtual method called", no sanitizer report under the
// sanitizer builds).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "Tilo/backend/NetworkClient.h"
#include "Tilo/entry/TiloAds.h"
#include "Tilo/telemetry/AdEventLogger.h"
#include "platform/Environment.h"
#include "platform/MainLoop.h"
#include "support/LoopbackHttpServer.h"
#include "support/SdkFixture.h"
#include "support/TempDir.h"

extern char** environ;

namespace tilo::test {
namespace {

constexpr const char* kHostVariable = "TILO_TEST_EXITING_HOST";
constexpr const char* kAppKey = "exit-host-app-key";

// Holds the process's exit open until the upload's answer has been handled. Registered
// before the SDK exists, it runs after the SDK's statics are destroyed: the window in which
// a real host's exit meets a late answer, made wide enough to hit every time.
void waitForTheUploadsAnswer() {
  for (int i = 0; i < 1000 && NetworkClient::requestsInFlight() > 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the answer's follow-up work
  // What follow-up work may do on a pool thread meanwhile (a retry, a delayed save): read
  // the clock and post delayed work to the main loop and to the pool.
  std::atomic<bool> posted{false};
  platform::postBackground([&posted] {
    auto& environment = platform::Environment::current();
    environment.mainExecutor()->postDelayed([] {}, 1);
    environment.backgroundExecutor()->postDelayed([] {}, 1);
    posted = true;
  });
  for (int i = 0; i < 500 && !posted; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// The host program: runs only inside the child started below, where it is the whole
// process. It initializes the SDK, logs one batch of events so that the upload starts,
// and returns (to main, which returns) as soon as the request is on the wire.
TEST(ExitingHost, ReturnsFromMainWhileUploading) {
  if (!std::getenv(kHostVariable)) GTEST_SKIP() << "runs as the child of HostExitTest";
  std::atexit(waitForTheUploadsAnswer);
  auto loop = platform::MainLoop::shared();
  bool ready = false;
  TiloAds::shared().initialized([&](std::optional<TiloError> error) { ready = !error; });
  ASSERT_TRUE(loop->runUntil([&] { return ready; }, 30));
  for (std::size_t i = 0; i < AdEventLogger::kMaxEventCount; ++i) {
    logEvent(AdLogEventType::adRequest, TiloAdInfo{TiloAdFormat::banner, "banner-unit", {}, {}});
  }
  // Starting a request posts nothing to the main thread: look between short runs.
  for (int i = 0; i < 3000 && NetworkClient::requestsInFlight() == 0; ++i) loop->runFor(0.01);
  ASSERT_GT(NetworkClient::requestsInFlight(), 0);
}

TEST(HostExitTest, HostThatExitsDuringAnUploadExitsCleanly) {
  TempDir bundle, container, output;
  SdkFixture::writeInfoPlist(bundle.path(), {{"TiloAppKey", kAppKey}});
  std::ofstream(bundle.path() / "ios-tilo-key.txt")
      << SdkFixture::sealKeyFile(kAppKey, SdkFixture::defaultConfigJson(kAppKey));

  LoopbackHttpServer server;
  std::atomic<int> uploads{0};
  server.http().Get("/sdk/init", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(SdkFixture::defaultAppInfoJson(), "application/json");
  });
  // The answer comes late: by then the host has returned from main.
  server.http().Post("/analytics/events", [&](const httplib::Request&, httplib::Response& answer) {
    ++uploads;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    answer.status = 500;
  });
  server.start();

  std::vector<std::string> variables = {
      std::string(kHostVariable) + "=1",
      "TILO_BUNDLE_DIR=" + bundle.path().string(),
      "TILO_APP_CONTAINER=" + container.path().string(),
      "TILO_API_BASE_URL=" + server.url(""),
  };
  for (char** entry = environ; *entry; ++entry) variables.emplace_back(*entry);
  std::vector<char*> envp;
  for (auto& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);
  std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  std::string filter = "--gtest_filter=ExitingHost.ReturnsFromMainWhileUploading";
  char* argv[] = {self.data(), filter.data(), nullptr};

  const auto errFile = output.path() / "stderr.txt";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, self.c_str(), &actions, nullptr, argv, envp.data()), 0);
  posix_spawn_file_actions_destroy(&actions);
  // A hung exit is a failure too, not a hung suite.
  int status = 0;
  pid_t ended = 0;
  for (int i = 0; i < 6000 && ended == 0; ++i) {
    ended = waitpid(pid, &status, WNOHANG);
    if (ended == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (ended == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    FAIL() << "the host did not exit within a minute";
  }

  std::stringstream errors;
  errors << std::ifstream(errFile).rdbuf();
  EXPECT_EQ(uploads.load(), 1) << "the upload was in flight when the host exited";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  EXPECT_EQ(errors.str(), "");
}

}  // namespace
}  // namespace tilo::test
