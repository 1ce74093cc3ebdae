// tilo-demo as a user runs it: a real process with its embedded backend on loopback, its
// exit status and what it prints, across runs that share one container.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/FileSystem.h"
#include "support/TempDir.h"

namespace tilo::test {
namespace {

using platform::FileSystem;

struct DemoRun {
  int exitCode = -1;   // when it exited
  int signal = 0;      // when a signal ended it
  std::string output;  // standard output and error, interleaved

  // Position of `text` at or after `from`; npos when absent.
  std::size_t find(const std::string& text, std::size_t from = 0) const {
    return output.find(text, from);
  }
  bool contains(const std::string& text) const { return find(text) != std::string::npos; }
  std::size_t count(const std::string& text) const {
    std::size_t n = 0;
    for (auto at = find(text); at != std::string::npos; at = find(text, at + 1)) ++n;
    return n;
  }
};

// Runs the built demo with `args`, its output in a file of `dir`. Waits for the exit (at
// most a minute, then the demo is killed and the test fails).
DemoRun runDemo(const TempDir& dir, std::vector<std::string> args) {
  const auto outPath = dir.path() / "demo-output.txt";
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int fd = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) ::_exit(127);
    ::dup2(fd, STDOUT_FILENO);
    ::dup2(fd, STDERR_FILENO);
    std::vector<char*> argv{const_cast<char*>(TILO_TOOLS_DIR "/tilo-demo")};
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      ADD_FAILURE() << "tilo-demo did not finish within a minute";
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  DemoRun run;
  run.output = FileSystem::readFile(outPath).value_or("");
  if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
  return run;
}

// Each text appears, in this order.
void expectInOrder(const DemoRun& run, const std::vector<std::string>& texts) {
  std::size_t at = 0;
  for (const auto& text : texts) {
    const auto found = run.find(text, at);
    ASSERT_NE(found, std::string::npos) << "missing, or out of order: " << text << "\n"
                                        << run.output;
    at = found + text.size();
  }
}

// Ads that close at once and never click, so runs take a fraction of a second.
std::string writeFastScenario(const TempDir& dir, const std::string& json) {
  const auto path = dir.path() / "scenario.json";
  FileSystem::atomicWrite(path, json);
  return path.string();
}

TEST(DemoTest, DefaultRunShowsEveryCallbackAndWhatTheBackendStored) {
  TempDir dir;
  const std::string container = (dir.path() / "app").string();
  const DemoRun run = runDemo(dir, {"--container", container, "--formats", "rewarded"});
  ASSERT_EQ(run.exitCode, 0) << run.output;

  // 1. Start-up through the SDK, at debug level by default.
  expectInOrder(run, {"(generated)", "[TILO] ", "DEBUG initialized with app key", "(embedded)",
                      "🏁 SDK 초기화 완료", "initialized\n", "demo-rewarded -> ca-app-pub-",
                      "type rewarded", "fee rate 0.15"});
  // 2. The embedded scenario: fill, reward, revenue net of the 0.15 fee, click, dismissal.
  expectInOrder(run,
                {"Registered plugin: tilo-demo revenue printer",
                 "onAdLoadSuccess rewarded demo-rewarded latency 170 ms network \"AdMob\"",
                 "isReady true", "onShown", "onEarnedReward 10 coins", "onAdImpression",
                 R"("revenueInfo":{"value":"0.010625","currencyCode":"USD","precisionType":3})",
                 "onAdClicked", "onDismiss", "rewarded: ok"});
  EXPECT_FALSE(run.contains("interstitial (")) << "only the requested format runs";
  // 3. The upload at the background transition, as the backend stored it.
  expectInOrder(run, {"the backend stored 4 events: ad_request 1, ad_response 1, "
                      "ad_impression 1, ad_click 1",
                      "ad_request  rewarded_video  demo-rewarded  latency -  network -",
                      "ad_response  rewarded_video  demo-rewarded  latency 170  network AdMob",
                      "ad_impression  rewarded_video  demo-rewarded  latency 170  network AdMob",
                      "ad_click  rewarded_video  demo-rewarded", "outside-SDK calls",
                      "GADMobileAds startWithCompletionHandler:"});
  // 4. The bundle stays in the container, so the next run keeps the same app key.
  EXPECT_TRUE(FileSystem::exists(dir.path() / "app" / "bundle" / "ios-tilo-key.txt"));
  const DemoRun again =
      runDemo(dir, {"--container", container, "--formats", "appOpen", "--scenario",
                    writeFastScenario(dir, R"({"default": {"dismissAfterMs": 0}})")});
  EXPECT_EQ(again.exitCode, 0) << again.output;
  EXPECT_TRUE(again.contains("(reused)"));
  EXPECT_TRUE(again.contains("appOpen: ok"));
}

TEST(DemoTest, CrashInsideAHostCallbackIsReportedByTheNextRunOnly) {
  TempDir dir;
  const std::string container = (dir.path() / "app").string();
  const std::string scenario =
      writeFastScenario(dir, R"({"default": {"dismissAfterMs": 0, "click": false}})");

  // 1. A first launch has no cached sdkConfig, so it relaunches once with markers on and
  //    then aborts inside the impression callback, leaving the callback's marker behind.
  const DemoRun crash = runDemo(dir, {"--container", container, "--scenario", scenario, "--formats",
                                      "interstitial", "--crash-at", "onAdImpression"});
  EXPECT_EQ(crash.signal, SIGABRT) << crash.output;
  expectInOrder(crash, {"relaunching once", "initialized\n", "onAdImpression",
                        "crashing inside onAdImpression"});
  EXPECT_TRUE(FileSystem::exists(dir.path() / "app" / "Library" / "Caches" / "TiloMarkersCache" /
                                 "tilo_crash_ad_callback.flag"));

  // 2. The next run reports that crash once, and runs normally.
  const DemoRun next = runDemo(dir, {"--container", container, "--scenario", scenario, "--formats",
                                     "interstitial,rewarded,appOpen"});
  ASSERT_EQ(next.exitCode, 0) << next.output;
  EXPECT_EQ(next.count("marker_checkpoint  checkpoint"), 1u) << next.output;
  EXPECT_TRUE(next.contains(
      R"(marker_checkpoint  checkpoint ad_callback  metadata {"phase":"onAdImpression","unitId":"demo-interstitial","network":"AdMob"})"))
      << next.output;
  EXPECT_TRUE(next.contains("marker_checkpoint 1,"));
  expectInOrder(next, {"interstitial: ok", "rewarded: ok", "appOpen: ok"});
  EXPECT_FALSE(next.contains("relaunching")) << "markers are on from the cached sdkConfig";

  // 3. Reported once: the run after that has nothing to report.
  const DemoRun third =
      runDemo(dir, {"--container", container, "--scenario", scenario, "--formats", "appOpen"});
  EXPECT_EQ(third.exitCode, 0) << third.output;
  EXPECT_FALSE(third.contains("marker_checkpoint")) << third.output;
}

TEST(DemoTest, RepeatRunsTheFormatsRoundAfterRound) {
  TempDir dir;
  const DemoRun run = runDemo(
      dir, {"--container", (dir.path() / "app").string(), "--formats", "interstitial,appOpen",
            "--repeat", "3", "--log-level", "off", "--scenario",
            writeFastScenario(dir, R"({"default": {"dismissAfterMs": 0, "click": false}})")});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  expectInOrder(
      run, {"round 1 of 3", "interstitial: ok", "appOpen: ok", "round 2 of 3", "interstitial: ok",
            "appOpen: ok", "round 3 of 3", "interstitial: ok", "appOpen: ok"});
  EXPECT_EQ(run.count("interstitial: ok"), 3u);
  EXPECT_TRUE(
      run.contains("the backend stored 18 events: ad_request 6, ad_response 6, ad_impression 6"))
      << run.output;
}

TEST(DemoTest, ExitCodeFollowsTheScenarioAndTheCommandLine) {
  TempDir dir;
  const std::string container = (dir.path() / "app").string();

  // 1. A scripted no-fill is the expected outcome: exit 0, the error printed, no SDK lines
  //    at level off.
  const std::string noFill = writeFastScenario(
      dir, R"({"default": {"result": "error", "error": {"domain": "com.google.admob", "code": 1,
               "description": "No fill."}}})");
  const DemoRun empty = runDemo(dir, {"--container", container, "--scenario", noFill, "--formats",
                                      "interstitial", "--log-level", "off"});
  EXPECT_EQ(empty.exitCode, 0) << empty.output;
  expectInOrder(empty, {"onAdLoadFail noFill, No fill.", "interstitial: no ad, as scripted"});
  EXPECT_FALSE(empty.contains("[TILO] "));
  EXPECT_FALSE(empty.contains("outside-SDK calls"));

  // 2. A scripted fill whose presentation fails is expected too; an unscripted one is not.
  const DemoRun presentFails =
      runDemo(dir, {"--container", container, "--formats", "interstitial", "--scenario",
                    writeFastScenario(dir, R"({"default": {"presentError": {"code": 18,
                                      "description": "Ad has already been used."}}})")});
  EXPECT_EQ(presentFails.exitCode, 0) << presentFails.output;
  expectInOrder(presentFails, {"onFailedToShow", "interstitial: ok"});

  // 3. A unit the backend does not know fails the run with the synchronizer's error, and
  //    its format is not loaded.
  const DemoRun unknownUnit =
      runDemo(dir, {"--container", container, "--formats", "interstitial", "--unit",
                    "interstitial=no-such-unit", "--scenario", noFill});
  EXPECT_EQ(unknownUnit.exitCode, 1) << unknownUnit.output;
  EXPECT_TRUE(unknownUnit.contains("  no-such-unit: ")) << unknownUnit.output;
  EXPECT_FALSE(unknownUnit.contains("interstitial (")) << unknownUnit.output;

  // 4. A format the demo cannot show yet fails only when asked for by name.
  const DemoRun popup = runDemo(dir, {"--container", container, "--formats", "lightPopup"});
  EXPECT_EQ(popup.exitCode, 1) << popup.output;
  EXPECT_TRUE(popup.contains("skipped: ad views are not part of this SDK build yet"));

  // 5. Command-line mistakes: usage and exit 2, before anything starts.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--formats", "popup"},
        {"--crash-at", "onNothing"},
        {"--log-level", "loud"},
        {"--repeat", "0"},
        {"--dwell-ms", "-1"},
        {"--unit", "interstitial"},
        {"--container"},
        {"--frobnicate", "1"},
        {"--api-base-url", "http://example.com", "--container", container}}) {
    const DemoRun bad = runDemo(dir, args);
    EXPECT_EQ(bad.exitCode, 2) << args[0] << "\n" << bad.output;
    EXPECT_FALSE(bad.contains("initialized\n")) << args[0];
  }
}

}  // namespace
}  // namespace tilo::test

namespace tilo::test {
namespace {

TEST(DemoTest, ViewFormatsShowInTheWindowAndLeaveSnapshots) {
  TempDir dir;
  const std::string snapshots = (dir.path() / "shots").string();
  const DemoRun run =
      runDemo(dir, {"--container", (dir.path() / "app").string(), "--formats", "banner,mrec,native",
                    "--dwell-ms", "50", "--snapshots", snapshots});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  for (const std::string format : {"banner", "mrec", "native"}) {
    EXPECT_TRUE(run.contains("snapshot " + snapshots + "/" + format + ".png")) << run.output;
    EXPECT_TRUE(std::filesystem::file_size(dir.path() / "shots" / (format + ".png")) > 1000);
    std::ifstream dump(dir.path() / "shots" / (format + ".json"));
    const std::string text((std::istreambuf_iterator<char>(dump)), {});
    EXPECT_NE(text.find("\"id\": \"" + format + "\""), std::string::npos) << format;
  }
  // The banner sits above the bottom safe area: 844 - 34 - 50.
  std::ifstream banner(dir.path() / "shots" / "banner.json");
  const std::string text((std::istreambuf_iterator<char>(banner)), {});
  EXPECT_NE(text.find("[35, 760, 320, 50]"), std::string::npos) << text.substr(0, 600);
  EXPECT_TRUE(run.contains("onAdImpression mrec demo-mrec")) << run.output;
  EXPECT_TRUE(run.contains("onAdClicked native demo-native")) << run.output;
}

}  // namespace
}  // namespace tilo::test
