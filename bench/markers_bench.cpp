// Crash-marker and tracker file paths against the bare system calls they cannot avoid.
//
//   setMarker + clearMarker  vs  write the same bytes to a temporary file, rename, unlink
//   updateAdLoadPhase        vs  read the tracker, write a temporary file, rename over it
//
// Both sides run interleaved in one loop on the same folder, so disk and CPU noise hit
// them alike; each prints its median and 99th percentile and their ratios to the floor.
// The Google Benchmark entries give the usual per-call numbers.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "Tilo/telemetry/AdLoadTracker.h"
#include "Tilo/telemetry/AppLifecycleObserver.h"
#include "Tilo/telemetry/CrashMarkers.h"
#include "platform/AppContainer.h"
#include "platform/FileSystem.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

const tilo::AdMetaData kMeta{"onAdImpression", "banner-unit-0001", "AdMob"};

void markOnce() {
  tilo::setMarker(tilo::CrashMarkerCheckpoint::adCallback,
                  tilo::CheckpointMetadata::adCallback(kMeta));
  tilo::clearMarker(tilo::CrashMarkerCheckpoint::adCallback);
}

bool writeAll(int fd, const std::string& bytes) {
  return ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

// The floor of a marker: the same bytes through a temporary file, renamed into place, then
// deleted.
void bareMarker(const std::string& dir, const std::string& bytes) {
  const std::string temp = dir + "/.bare.flag.tmp";
  const std::string path = dir + "/bare.flag";
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0 || !writeAll(fd, bytes)) std::abort();
  ::close(fd);
  if (::rename(temp.c_str(), path.c_str()) != 0) std::abort();
  ::unlink(path.c_str());
}

// The floor of a tracker update: read the file, write a temporary one, rename it over.
void bareTracker(const std::string& dir) {
  const std::string path = dir + "/bare_tracker.json";
  const std::string temp = dir + "/.bare_tracker.json.tmp";
  char buffer[4096];
  int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) std::abort();
  const ssize_t got = ::read(in, buffer, sizeof buffer);
  ::close(in);
  if (got <= 0) std::abort();
  int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (out < 0 || ::write(out, buffer, static_cast<size_t>(got)) != got) std::abort();
  ::close(out);
  if (::rename(temp.c_str(), path.c_str()) != 0) std::abort();
}

struct Stats {
  double median;
  double p99;
};

Stats stats(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return {samples[samples.size() / 2], samples[samples.size() * 99 / 100]};
}

template <class F>
double timed(F&& f) {
  const auto start = Clock::now();
  f();
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// Interleaves `ours` and `floor` `rounds` times and prints both and their ratios.
template <class Ours, class Floor>
void compare(const char* name, Ours&& ours, Floor&& floor, double medianTarget, double p99Target) {
  constexpr int kRounds = 20000;
  for (int i = 0; i < 500; ++i) {  // warm caches and the directory
    ours();
    floor();
  }
  std::vector<double> a, b;
  a.reserve(kRounds);
  b.reserve(kRounds);
  for (int i = 0; i < kRounds; ++i) {
    a.push_back(timed(ours));
    b.push_back(timed(floor));
  }
  const Stats s = stats(a), f = stats(b);
  std::printf("%s: median %.2f us (floor %.2f), p99 %.2f us (floor %.2f)\n", name, s.median,
              f.median, s.p99, f.p99);
  std::printf("ratio %s median: %.3f (target <= %.1f)\n", name, s.median / f.median, medianTarget);
  if (p99Target > 0) {
    std::printf("ratio %s p99: %.3f (target <= %.1f)\n", name, s.p99 / f.p99, p99Target);
  }
}

void BM_SetAndClearMarker(benchmark::State& state) {
  for (auto _ : state) markOnce();
}
BENCHMARK(BM_SetAndClearMarker);

void BM_UpdateAdLoadPhase(benchmark::State& state) {
  for (auto _ : state) tilo::updateAdLoadPhase("banner-unit-0001", "load");
}
BENCHMARK(BM_UpdateAdLoadPhase);

}  // namespace

int main(int argc, char** argv) {
  char pattern[] = "/tmp/tilo-markers-bench-XXXXXX";
  const fs::path container = ::mkdtemp(pattern);
  tilo::platform::AppContainer::setPath(container);
  tilo::setEnableMarkerCheckpoints(true);
  const std::string dir = tilo::markersDirectory().string();

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  // Markers, first as at start-up (no lifecycle file), then after the app went to the
  // background once (the marker embeds the recorded lifecycle event).
  tilo::setMarker(tilo::CrashMarkerCheckpoint::adCallback,
                  tilo::CheckpointMetadata::adCallback(kMeta));
  std::string flag = *tilo::platform::FileSystem::readFile(
      tilo::markersDirectory() / tilo::flagFileName(tilo::CrashMarkerCheckpoint::adCallback));
  compare(
      "setMarker+clearMarker", markOnce, [&] { bareMarker(dir, flag); }, 1.2, 2.0);
  tilo::AppLifecycleObserver().appDidEnterBackground();
  tilo::setMarker(tilo::CrashMarkerCheckpoint::adCallback,
                  tilo::CheckpointMetadata::adCallback(kMeta));
  flag = *tilo::platform::FileSystem::readFile(
      tilo::markersDirectory() / tilo::flagFileName(tilo::CrashMarkerCheckpoint::adCallback));
  compare(
      "setMarker+clearMarker (with lifecycle)", markOnce, [&] { bareMarker(dir, flag); }, 1.2, 2.0);

  // A tracker with two loads in flight, as when a banner and an interstitial load at once.
  tilo::updateAdLoadPhase("interstitial-unit-0001", "sync");
  tilo::updateAdLoadPhase("banner-unit-0001", "load");
  tilo::platform::FileSystem::atomicWrite(
      dir + "/bare_tracker.json", *tilo::platform::FileSystem::readFile(
                                      tilo::markersDirectory() / tilo::kAdLoadTrackerFileName));
  compare(
      "updateAdLoadPhase", [] { tilo::updateAdLoadPhase("banner-unit-0001", "load"); },
      [&] { bareTracker(dir); }, 1.3, 0);

  std::error_code error;
  fs::remove_all(container, error);
  return 0;
}
