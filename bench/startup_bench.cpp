// Cost of the first TiloAds::shared(): Info.plist and key file read, configuration
// decrypted and decoded, API and service built, "sdkConfig.json" read. The event logger's
// restore of 1,000 unsent events from the encrypted store runs on its own queue; the
// "restored_ms" counter is the time until a read of the queue holds them all.
// Target: under 2 ms on the calling thread.
//
// BM_FirstSharedAccessInAFreshProcess: the same call as a process's very first, which also
// pays OpenSSL's one-time set-up for the key file (the loop above pays it once, before
// timing). Each iteration runs this program again with kChildVariable naming the
// installation; the child reports its calling thread's CPU time for the call.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "Tilo/base/ApiBaseUrl.h"
#include "Tilo/base/KeyCrypto.h"
#include "Tilo/entry/TiloAds.h"
#include "Tilo/telemetry/AdEventLogger.h"
#include "Tilo/telemetry/CrashMarkers.h"
#include "Tilo/telemetry/EventStore.h"
#include "bench/support/BenchSdk.h"
#include "platform/AppContainer.h"
#include "platform/Bundle.h"
#include "platform/FileSystem.h"
#include "platform/PlistValue.h"
#include "platform/UserDefaults.h"

namespace {

using namespace tilo;

constexpr std::size_t kStoredEvents = 1000;
const std::string kAppKey = "bench-app-key";

// A bundle and a container as an application that ran before would leave them.
struct Installation {
  std::filesystem::path bundle = bench::makeTempDir(), container = bench::makeTempDir();

  Installation() {
    const std::string config =
        R"({"appKey":"bench-app-key","platform":"ios","storeId":"1","admobKey":"ca-app-pub-0~1",)"
        R"("apsSlotUUIDs":[{"type":"banner","uuid":"b"}]})";
    bench::writeBundle(bundle, config);
    platform::Bundle::setMainBundleDirectory(bundle);
    platform::AppContainer::setPath(container);
    setApiBaseUrlOverride("http://127.0.0.1:1");  // nothing is fetched while building

    writeCachedSdkConfig(SdkConfig{true});
    std::vector<AdLogEvent> events;
    for (std::size_t i = 0; i < kStoredEvents; ++i) {
      events.push_back(AdLogEvent::make(
          AdLogEventType::adImpression,
          makeAdEventPayload(TiloAdInfo{TiloAdFormat::interstitial, "interstitial-unit",
                                        120.5 + static_cast<double>(i), "AdMob"})));
    }
    EventStore(platform::UserDefaults::standard(), kAppKey).saveEvents(events);
  }
  ~Installation() {
    TiloAds::resetSharedForTesting();
    setApiBaseUrlOverride(std::nullopt);
    platform::Bundle::setMainBundleDirectory(std::nullopt);
    platform::AppContainer::setPath(std::nullopt);
    std::filesystem::remove_all(bundle);
    std::filesystem::remove_all(container);
  }
};

void BM_FirstSharedAccess(benchmark::State& state) {
  Installation installation;
  double restoredSeconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    TiloAds& ads = *TiloAds::shared();
    benchmark::DoNotOptimize(&ads);
    state.PauseTiming();
    // Waits for the restore (or runs it, if the pool has not started it yet).
    const std::size_t restored = AdEventLogger::shared()->queuedEvents().size();
    restoredSeconds +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (restored != kStoredEvents || !enableMarkerCheckpoints()) {
      state.SkipWithError("the graph was not built from the installation");
      break;
    }
    TiloAds::resetSharedForTesting();
    state.ResumeTiming();
  }
  state.counters["target_ms"] = 2;
  state.counters["restored_ms"] =
      benchmark::Counter(restoredSeconds * 1000, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_FirstSharedAccess)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

constexpr const char* kChildVariable = "TILO_STARTUP_BENCH_CHILD";

double threadCpuMillis() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// In the child: `dirs` is the bundle and the container, separated by a newline.
int runChild(const std::string& dirs) {
  const auto split = dirs.find('\n');
  if (split == std::string::npos) return 2;
  platform::Bundle::setMainBundleDirectory(std::filesystem::path(dirs.substr(0, split)));
  platform::AppContainer::setPath(std::filesystem::path(dirs.substr(split + 1)));
  setApiBaseUrlOverride("http://127.0.0.1:1");
  const double start = threadCpuMillis();
  TiloAds& ads = *TiloAds::shared();
  const double cpu = threadCpuMillis() - start;
  benchmark::DoNotOptimize(&ads);
  if (AdEventLogger::shared()->queuedEvents().size() != kStoredEvents) return 3;
  std::printf("%.6f\n", cpu);
  std::fflush(stdout);
  _exit(0);  // the parent needs the figure only, not the SDK's threads joined
}

// Runs this program as a child over `installation`; its figure in milliseconds, or < 0.
double childFirstCall(const Installation& installation) {
  int out[2];
  if (::pipe(out) != 0) return -1;
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) env.emplace_back(*entry);
  env.push_back(std::string(kChildVariable) + "=" + installation.bundle.string() + "\n" +
                installation.container.string());
  std::vector<char*> envp;
  for (auto& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string self = "/proc/self/exe";
  char* argv[] = {self.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  pid_t pid = -1;
  const bool spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv, envp.data()) == 0;
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  std::string text;
  char chunk[64];
  for (ssize_t n; spawned && (n = ::read(out[0], chunk, sizeof chunk)) > 0;) text.append(chunk, n);
  ::close(out[0]);
  int status = 0;
  if (!spawned || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    return -1;
  }
  return std::strtod(text.c_str(), nullptr);
}

void BM_FirstSharedAccessInAFreshProcess(benchmark::State& state) {
  Installation installation;
  platform::UserDefaults::standard()->flush();  // the child reads the store from the file
  for (auto _ : state) {
    const double millis = childFirstCall(installation);
    if (millis < 0) {
      state.SkipWithError("the child did not build the graph from the installation");
      break;
    }
    state.SetIterationTime(millis / 1000);
  }
  state.counters["target_ms"] = 2;
}
BENCHMARK(BM_FirstSharedAccessInAFreshProcess)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
  if (const char* dirs = std::getenv(kChildVariable)) return runChild(dirs);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
