// Time from `load` to `onAdLoadSuccess` for an interstitial whose unit is already resolved
// and whose ad source answers at once, against the same request made on the mediation API
// directly. The difference is what the SDK adds per load (target: under 1 ms), and the
// difference in CPU time of the main thread and the SDK's own threads (named "tilo-…"; the
// backend's threads in this process are not counted) is the SDK's CPU per load, what it logs
// and uploads about the load included (target: at most 20 us). Both run on the real main
// loop, with the SDK initialized against a development backend on loopback.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <time.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "Tilo/ads/TiloInterstitialAdLoader.h"
#include "Tilo/base/ApiBaseUrl.h"
#include "Tilo/base/KeyCrypto.h"
#include "Tilo/entry/TiloAds.h"
#include "bench/support/BenchSdk.h"
#include "mediation/AdSource.h"
#include "mediation/GADInterstitialAd.h"
#include "platform/Bundle.h"
#include "platform/FileSystem.h"
#include "platform/MainLoop.h"
#include "platform/PlistValue.h"
#include "tools/devserver/DevServer.h"

namespace {

using namespace tilo;

constexpr double kTimeout = 10;

// One SDK and its backend, kept for the whole run.
using Sdk = bench::LoopbackSdk;

Sdk& sdk() {
  static Sdk instance(R"({"adUnits":[{"tiloAdUnitId":"bench-unit","mediationAdUnitId":)"
                      R"("gad/bench","name":"B","type":"interstitial"}],"feeRate":0.1})");
  return instance;
}

// CPU seconds of the calling thread and every thread named "tilo-…" so far, from the
// scheduler's nanosecond counts.
double sdkCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  double seconds = static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
  std::error_code error;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
    std::string name;
    std::getline(std::ifstream(task.path() / "comm"), name);
    if (name.rfind("tilo-", 0) != 0) continue;
    double nanoseconds = 0;
    if (std::ifstream(task.path() / "schedstat") >> nanoseconds) seconds += nanoseconds * 1e-9;
  }
  return seconds;
}

// Records the SDK's CPU per iteration of the loop that ran since `start`.
void countSdkCpu(benchmark::State& state, double start) {
  state.counters["sdk_cpu_us"] =
      benchmark::Counter((sdkCpuSeconds() - start) * 1e6, benchmark::Counter::kAvgIterations);
}

void BM_LoaderLoad(benchmark::State& state) {
  sdk();
  auto loader = TiloInterstitialAdLoader::create(TiloAdUnit{"bench-unit", std::nullopt});
  int delivered = 0;
  loader->listener()->onAdLoadSuccess = [&](auto, auto) { ++delivered; };
  const double start = sdkCpuSeconds();
  for (auto _ : state) {
    const int expected = delivered + 1;
    loader->load();
    if (!platform::MainLoop::shared()->runUntil([&] { return delivered == expected; }, kTimeout)) {
      state.SkipWithError("load did not finish");
      break;
    }
  }
  countSdkCpu(state, start);
}

void BM_DirectPlatformLoad(benchmark::State& state) {
  sdk();
  int delivered = 0;
  const double start = sdkCpuSeconds();
  for (auto _ : state) {
    const int expected = delivered + 1;
    mediation::GADInterstitialAd::loadWithAdUnitID("gad/bench", mediation::GADRequest::create(),
                                                   [&](auto ad, auto) { delivered += ad ? 1 : 0; });
    if (!platform::MainLoop::shared()->runUntil([&] { return delivered == expected; }, kTimeout)) {
      state.SkipWithError("load did not finish");
      break;
    }
  }
  countSdkCpu(state, start);
}

BENCHMARK(BM_LoaderLoad)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DirectPlatformLoad)->Unit(benchmark::kMicrosecond);

// Keeps the real time and the SDK's CPU per iteration of each benchmark to report the
// differences.
class Reporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        microseconds[run.run_name.function_name] = run.GetAdjustedRealTime();
        mainCpuMicroseconds[run.run_name.function_name] = run.GetAdjustedCPUTime();
        const auto cpu = run.counters.find("sdk_cpu_us");
        if (cpu != run.counters.end()) cpuMicroseconds[run.run_name.function_name] = cpu->second;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> microseconds;
  std::map<std::string, double> cpuMicroseconds;
  std::map<std::string, double> mainCpuMicroseconds;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto sdkLoad = reporter.microseconds.find("BM_LoaderLoad");
  auto direct = reporter.microseconds.find("BM_DirectPlatformLoad");
  if (sdkLoad != reporter.microseconds.end() && direct != reporter.microseconds.end()) {
    const double overhead = sdkLoad->second - direct->second;
    std::printf(
        "SDK overhead per load: %.1f us (loader %.1f us, direct %.1f us; target < 1000 us)\n",
        overhead, sdkLoad->second, direct->second);
    const double sdkCpu = reporter.cpuMicroseconds[sdkLoad->first];
    const double directCpu = reporter.cpuMicroseconds[direct->first];
    std::printf("SDK CPU per load: %.1f us (loader %.1f us, direct %.1f us; target <= 20 us)\n",
                sdkCpu - directCpu, sdkCpu, directCpu);
    std::printf(
        "  of which on the main thread: %.1f us\n",
        reporter.mainCpuMicroseconds[sdkLoad->first] - reporter.mainCpuMicroseconds[direct->first]);
  }
  benchmark::Shutdown();
  return 0;
}
