// JSON documents with many keys, as a hostile backend or container would send them: the
// cost per key must not grow with the number of keys (a parser or decoder that walks every
// key before the one it wants costs n² for n keys).
//
//   ParseAndLookUp/<keys>   one object of n keys, parsed and every key looked up once
//   DecodeTracker/<n>       an ad-load tracker file of n entries, read as at start-up
//   DecodeUpload/<keys>     an analytics upload whose one payload has n keys (devserver)
//
// Then, for 2,000, 20,000 and 200,000 keys, the median time per key of ParseAndLookUp over
// interleaved rounds, and the ratio of the largest to the smallest (target: at most 2).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
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

// Parses `text` (no key cap: the measurement goes past it) and looks every key up.
std::size_t parseAndLookUp(const std::string& text, const std::vector<std::string>& keys) {
  const ParsedJson json = tilo::platform::parseJson(text, std::numeric_limits<std::size_t>::max());
  std::size_t found = 0;
  for (const auto& key : keys) found += json.contains(key) ? 1 : 0;
  if (found != keys.size()) std::abort();
  return found;
}

std::vector<std::string> keysOf(std::size_t n) {
  std::vector<std::string> keys;
  keys.reserve(n);
  for (std::size_t i = 0; i < n; ++i) keys.push_back(keyName(i));
  return keys;
}

void BM_ParseAndLookUp(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const std::string text = flatObject(n);
  const auto keys = keysOf(n);
  for (auto _ : state) benchmark::DoNotOptimize(parseAndLookUp(text, keys));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * n));
}
BENCHMARK(BM_ParseAndLookUp)->Arg(2000)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);

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
  constexpr int kRounds = 15;
  std::vector<std::vector<double>> perKey(std::size(sizes));
  for (int round = 0; round < kRounds; ++round) {
    for (std::size_t s = 0; s < std::size(sizes); ++s) {
      // Small documents run often enough to last about as long as one large one.
      const std::size_t repeats = sizes[std::size(sizes) - 1] / sizes[s];
      const auto start = std::chrono::steady_clock::now();
      for (std::size_t r = 0; r < repeats; ++r) parseAndLookUp(texts[s], keys[s]);
      const std::chrono::duration<double, std::nano> took =
          std::chrono::steady_clock::now() - start;
      perKey[s].push_back(took.count() / static_cast<double>(repeats * sizes[s]));
    }
  }
  std::vector<double> medians;
  for (auto& samples : perKey) {
    std::sort(samples.begin(), samples.end());
    medians.push_back(samples[samples.size() / 2]);
  }
  std::printf(
      "parse and look up, time per key: 2,000 keys %.1f ns, 20,000 keys %.1f ns, 200,000 keys "
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
