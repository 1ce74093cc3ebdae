// JSON documents with many keys, as a hostile backend or container would send them: the
// cost per key must not grow with the number of keys (a parser or decoder that walks every
// key before the one it wants costs n² for n keys).
//
//   ParseAndRead/<keys>     one object of n keys parsed, every member read in order and
//                           three keys looked up by name: what a decoder does
//   LookUpEveryKey/<keys>   the same, and then every key looked up by name (log n each)
//   DecodeTracker/<n>       an ad-load tracker file of n entries, read as at start-up
//   DecodeUpload/<keys>     an analytics upload whose one payload has n keys (devserver)
//
// Then, for 2,000, 20,000 and 200,000 keys, the median CPU time per key of ParseAndRead
// over interleaved rounds, and the ratio of the largest to the smallest (target: at most 2).
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "Tilo/telemetry/AdLoadTracker.h"
#include "platform/Json.h"
#include "tools/devserver/UploadDecoding.h"

namespace {

using tilo::platform::ParsedJson;

std::string keyName(std::size_t i) {
  return "unit-" + std::to_string(i * 7919 % 1000003);  // not in sorted order
}

// {"unit-…":{"currentPhase":"load","lastUpdate":…},…}: each entry's key counts, its two
// inner keys too.
std::string entries(std::size_t n) {
  std::string out = "{";
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0) out += ',';
    out += '"' + keyName(i) + R"(":{"currentPhase":"load","lastUpdate":1700000000.5})";
  }
  return out + "}";
}

std::string flatObject(std::size_t n) {
  std::string out = "{";
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0) out += ',';
    out += '"' + keyName(i) + "\":" + std::to_string(i);
  }
  return out + "}";
}

std::vector<std::string> keysOf(std::size_t n) {
  std::vector<std::string> keys;
  keys.reserve(n);
  for (std::size_t i = 0; i < n; ++i) keys.push_back(keyName(i));
  return keys;
}

// Parses `text` (no key cap: the measurement goes past it), reads every member and looks
// the first, a middle and the last key up; with `everyKey`, looks each key up as well.
std::size_t parseAndRead(const std::string& text, const std::vector<std::string>& keys,
                         bool everyKey = false) {
  const ParsedJson json = tilo::platform::parseJson(text, std::numeric_limits<std::size_t>::max());
  std::size_t sum = 0;
  for (const auto& [key, value] : json.items()) sum += value.get<std::size_t>();
  for (const auto* key : {&keys.front(), &keys[keys.size() / 2], &keys.back()}) {
    sum += json.at(*key).get<std::size_t>();
  }
  if (everyKey) {
    for (const auto& key : keys) sum += json.contains(key) ? 1 : 0;
  }
  if (json.size() != keys.size()) std::abort();
  return sum;
}

void BM_ParseAndRead(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const std::string text = flatObject(n);
  const auto keys = keysOf(n);
  for (auto _ : state) benchmark::DoNotOptimize(parseAndRead(text, keys));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * n));
}
BENCHMARK(BM_ParseAndRead)->Arg(2000)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);

void BM_LookUpEveryKey(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const std::string text = flatObject(n);
  const auto keys = keysOf(n);
  for (auto _ : state) benchmark::DoNotOptimize(parseAndRead(text, keys, true));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * n));
}
BENCHMARK(BM_LookUpEveryKey)->Arg(2000)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);

void BM_DecodeTracker(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const std::string text = R"({"loadingAds":)" + entries(n) + "}";
  for (auto _ : state) {
    auto tracker = tilo::AdLoadTracker::decode(tilo::platform::parseJson(text));
    if (tracker.loadingAds.size() != n) std::abort();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * n));
}
BENCHMARK(BM_DecodeTracker)
    ->Arg(2000)
    ->Arg(tilo::AdLoadTracker::kMaxEntries)
    ->Unit(benchmark::kMillisecond);

void BM_DecodeUpload(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const std::string text =
      R"({"sdkVersion":"1","events":[{"eventId":"e","eventType":"ad_click","createdAt":1,)"
      R"("sessionId":"s","payload":)" +
      flatObject(n) + "}]}";
  for (auto _ : state) {
    auto upload = tilo::devserver::decodeUpload(text);
    benchmark::DoNotOptimize(upload.rows.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * n));
}
BENCHMARK(BM_DecodeUpload)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);

// CPU time of this thread: other processes on a shared machine do not count.
double cpuNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

// Median nanoseconds per key over interleaved rounds, so that machine noise hits every
// size alike.
void linearity() {
  const std::size_t sizes[] = {2000, 20000, 200000};
  std::vector<std::string> texts;
  std::vector<std::vector<std::string>> keys;
  for (std::size_t n : sizes) {
    texts.push_back(flatObject(n));
    keys.push_back(keysOf(n));
  }
  constexpr int kRounds = 21;
  std::vector<std::vector<double>> perKey(std::size(sizes));
  for (int round = 0; round < kRounds; ++round) {
    for (std::size_t s = 0; s < std::size(sizes); ++s) {
      // Small documents run often enough to last about as long as one large one.
      const std::size_t repeats = sizes[std::size(sizes) - 1] / sizes[s];
      const double start = cpuNanoseconds();
      for (std::size_t r = 0; r < repeats; ++r)
        benchmark::DoNotOptimize(parseAndRead(texts[s], keys[s]));
      const double took = cpuNanoseconds() - start;
      perKey[s].push_back(took / static_cast<double>(repeats * sizes[s]));
    }
  }
  std::vector<double> medians;
  for (auto& samples : perKey) {
    std::sort(samples.begin(), samples.end());
    medians.push_back(samples[samples.size() / 2]);
  }
  std::printf(
      "parse and read, time per key: 2,000 keys %.1f ns, 20,000 keys %.1f ns, 200,000 keys "
      "%.1f ns\n",
      medians[0], medians[1], medians[2]);
  const double worst = *std::max_element(medians.begin(), medians.end());
  const double best = *std::min_element(medians.begin(), medians.end());
  std::printf(
      "ratio slowest/fastest time per key: %.2f (linear: time per key flat within 2x from "
      "2,000 to 200,000 keys)\n",
      worst / best);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  linearity();
  return 0;
}
