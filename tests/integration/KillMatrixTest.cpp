// A real host process killed with SIGKILL while the backend holds a 20-event upload: after a
// restart, every event logged more than a second before the kill must be stored by the
// development backend, and none twice. (A crash report queued just before a kill: the event
// logger's immediate path, AdEventLoggerTest; a crash in a host callback reported by the next
// run: DemoTest. The host's own preferences beside the SDK's: UserDefaultsTest.) The host runs
// in real time, so the test waits for what it prints and for what the backend received, never
// for a duration.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/SdkFixture.h"
#include "support/TempDir.h"
#include "tools/devserver/DevServer.h"

namespace tilo::test {
namespace {

constexpr const char* kAppKey = "kill-matrix-app-key";

long long epochMillis() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// One run of tilo-event-host, its standard output on a pipe.
class Host {
 public:
  explicit Host(std::vector<std::string> args) {
    int out[2];
    if (::pipe(out) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    args.insert(args.begin(), TILO_TOOLS_DIR "/tilo-event-host");
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    out_ = out[0];
  }
  ~Host() {
    if (pid_ > 0) kill();
    ::close(out_);
  }

  // The next line it prints; "" once it has exited or stayed silent for 30 s.
  std::string nextLine() {
    pollfd readable{out_, POLLIN, 0};
    for (;;) {
      if (const auto end = buffer_.find('\n'); end != std::string::npos) {
        std::string line = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        return line;
      }
      char chunk[512];
      if (::poll(&readable, 1, 30'000) != 1) return "";
      const ssize_t n = ::read(out_, chunk, sizeof chunk);
      if (n <= 0) return "";
      buffer_.append(chunk, static_cast<std::size_t>(n));
    }
  }

  // SIGKILL now; returns the time of the kill in milliseconds since 1970.
  long long kill() {
    const long long at = epochMillis();
    ::kill(pid_, SIGKILL);
    wait();
    return at;
  }

  // Its exit status, -1 when a signal ended it.
  int wait() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string buffer_;
};

TEST(KillMatrixTest, KilledWhileTheBackendHoldsATwentyEventUpload) {
  TempDir bundle;
  TempDir container;
  SdkFixture::writeBundle(bundle.path(), kAppKey, "com.tilo.killmatrix");
  auto server = SdkFixture::startBackend(kAppKey, SdkFixture::defaultAppInfoJson());
  auto host = [&](const std::string& mode, const std::string& burst) {
    return std::make_unique<Host>(std::vector<std::string>{
        "--bundle", bundle.path().string(), "--container", container.path().string(),
        "--api-base-url", server->baseUrl(), mode, "--burst", burst});
  };
  server->setHoldUploads(1);
  auto stream = host("stream", "20");
  std::map<int, long long> logged;
  // Twenty at once go out together and the backend holds them; the stream goes on until
  // it has run for more than a second behind them. Each line: "logged <n> <epoch ms>".
  for (int lines = 0; lines < 60; ++lines) {
    std::istringstream words(stream->nextLine());
    std::string word;
    int n = 0;
    long long at = 0;
    ASSERT_TRUE(words >> word >> n >> at && word == "logged") << "host said: " << words.str();
    logged[n] = at;
    if (server->eventPostCount() == 1 && logged.count(20) &&
        logged.rbegin()->second - logged[20] > 1600) {
      break;
    }
  }
  ASSERT_EQ(server->eventPostCount(), 1);
  const long long killedAt = stream->kill();
  EXPECT_TRUE(server->storedEvents().empty());

  // A restart sends what its predecessor stored: what was logged a second before the kill,
  // once; nothing twice.
  auto drain = host("drain", "0");
  ASSERT_EQ(drain->nextLine(), "drained");
  ASSERT_EQ(drain->wait(), 0);
  std::map<std::string, int> stored;
  for (const auto& event : server->storedEvents()) {
    ++stored[event.payload.value("adUnitId", std::string())];
  }
  std::size_t checked = 0;
  for (const auto& [n, at] : logged) {
    const std::string unit = "seq-" + std::to_string(n);
    if (killedAt - at > 1000) {
      ++checked;
      EXPECT_EQ(stored[unit], 1) << unit << " logged " << killedAt - at << " ms before the kill";
    } else {
      EXPECT_LE(stored[unit], 1) << unit;
    }
  }
  EXPECT_GE(checked, 21u);
}

}  // namespace
}  // namespace tilo::test
