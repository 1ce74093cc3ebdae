// The analytics logger on the production executors (a real main loop on its own thread).
//
//   logEvent caller cost           median and p99 of one call (target: median <= 5 us)
//   queue throughput               100,000 events logged at 100,000 per second: the queue
//                                  keeps up (uploads trail the last event by < 100 ms, none
//                                  dropped); then the same logged at once, for the peak
//                                  rate. Each run ends when every event was uploaded or
//                                  dropped by the 1,000-event cap, and counts both.
//   saving 1,000 events            EventStore::saveEvents against its floor: one JSON dump
//                                  of the same list, one AES-GCM seal, one Base64, and one
//                                  atomic write of a file the size of the defaults file
//                                  (target: <= 1.3x, medians of interleaved runs)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <thread>
#include <vector>

#include "Tilo/telemetry/AdEventLogger.h"
#include "Tilo/telemetry/EventStore.h"
#include "platform/AppContainer.h"
#include "platform/Base64.h"
#include "platform/Crypto.h"
#include "platform/FileSystem.h"
#include "platform/MainLoop.h"
#include "platform/UserDefaults.h"

namespace {

using Clock = std::chrono::steady_clock;
using tilo::platform::Json;

constexpr const char* kAppKey = "bench-app-key";
const tilo::TiloAdInfo kInfo{tilo::TiloAdFormat::interstitial, "interstitial-unit-0001", 123.5,
                             "AdMob"};

// Accepts every upload at once, as a fast backend would.
class AcceptingApi final : public tilo::TiloApiProtocol {
 public:
  void fetchAppInfo(tilo::Completion<tilo::TiloAppInfo>) override {}
  void fetchAppInfoWithRetry(int, double, double, tilo::Completion<tilo::TiloAppInfo>) override {}
  void sendEvents(std::string body,
                  std::function<void(std::optional<tilo::SdkError>)> completion) override {
    for (auto at = body.find(R"("eventId":)"); at != std::string::npos;
         at = body.find(R"("eventId":)", at + 1)) {
      ++uploaded;
    }
    ++uploads;
    completion(std::nullopt);
  }
  std::atomic<std::size_t> uploaded{0};
  std::atomic<std::size_t> uploads{0};
};

double micros(Clock::duration d) {
  return std::chrono::duration<double, std::micro>(d).count();
}

std::pair<double, double> medianP99(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return {samples[samples.size() / 2], samples[samples.size() * 99 / 100]};
}

void BM_LogEvent(benchmark::State& state) {
  for (auto _ : state) tilo::logEvent(tilo::AdLogEventType::adImpression, kInfo);
  tilo::AdEventLogger::shared()->queuedEvents();  // let the queue catch up between runs
}
BENCHMARK(BM_LogEvent);

void callerCost() {
  constexpr int kCalls = 50000;
  std::vector<double> samples;
  samples.reserve(kCalls);
  for (int i = 0; i < kCalls; ++i) {
    const auto start = Clock::now();
    tilo::logEvent(tilo::AdLogEventType::adImpression, kInfo);
    samples.push_back(micros(Clock::now() - start));
    // Paced like a busy app rather than a tight loop, so the queue keeps up.
    if (i % 64 == 63) tilo::AdEventLogger::shared()->queuedEvents();
  }
  const auto [median, p99] = medianP99(samples);
  std::printf("logEvent caller cost: median %.2f us, p99 %.2f us (target median <= 5 us)\n", median,
              p99);
}

// Logs `count` events, `rate` per second in 1 ms slices with the logging thread asleep in
// between as an app's would be (all at once when rate is 0), and waits until every event
// has either reached the backend or been dropped by the queue's cap.
struct Absorbed {
  double total = 0;  // seconds from the first event to the last upload or drop
  double lag = 0;    // seconds from the last event to the last upload or drop
  std::size_t uploaded = 0, dropped = 0;
};

Absorbed absorb(AcceptingApi& api, std::size_t count, double rate) {
  auto logger = tilo::AdEventLogger::shared();
  logger->queuedEvents();
  const std::size_t before = api.uploaded.load();
  const std::uint64_t droppedBefore = logger->droppedEventCount();
  const std::size_t perSlice = rate > 0 ? static_cast<std::size_t>(rate / 1000) : count;
  const auto start = Clock::now();
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0 && i % perSlice == 0) {
      std::this_thread::sleep_until(start + std::chrono::milliseconds(i / perSlice));
    }
    tilo::logEvent(tilo::AdLogEventType::adRequest, kInfo);
  }
  const auto logged = Clock::now();
  Absorbed result;
  // Every event ends up uploaded or dropped; the deadline only guards against a stall.
  for (;;) {
    result.uploaded = api.uploaded.load() - before;
    result.dropped = static_cast<std::size_t>(logger->droppedEventCount() - droppedBefore);
    if (result.uploaded + result.dropped >= count) break;
    if (Clock::now() - logged > std::chrono::seconds(60)) {
      std::printf("  stalled: %zu uploaded and %zu dropped of %zu after 60 s\n", result.uploaded,
                  result.dropped, count);
      break;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  const auto done = Clock::now();
  result.total = std::chrono::duration<double>(done - start).count();
  result.lag = std::chrono::duration<double>(done - logged).count();
  return result;
}

void throughput(AcceptingApi& api) {
  constexpr std::size_t kEvents = 100000;
  const std::size_t uploadsBefore = api.uploads.load();
  const auto paced = absorb(api, kEvents, 100000.0);
  std::printf(
      "queue at 100000 events/s: %zu uploaded in %zu uploads, %zu dropped by the 1000-event "
      "cap; the last %.1f ms after the first event, %.2f ms after the last (target: keeps "
      "up, none dropped, lag < 100 ms)\n",
      paced.uploaded, api.uploads.load() - uploadsBefore, paced.dropped, paced.total * 1000,
      paced.lag * 1000);
  const auto burst = absorb(api, kEvents, 0);
  std::printf(
      "queue burst: %zu events logged at once, %zu uploaded and %zu dropped by the cap in "
      "%.1f ms: %.0f events/s\n",
      kEvents, burst.uploaded, burst.dropped, burst.total * 1000, kEvents / burst.total);
}

void storeSave() {
  std::vector<tilo::AdLogEvent> events;
  for (int i = 0; i < 1000; ++i) {
    events.push_back(tilo::AdLogEvent::make(tilo::AdLogEventType::adImpression,
                                            tilo::makeAdEventPayload(kInfo)));
  }
  auto defaults = tilo::platform::UserDefaults::standard();
  tilo::EventStore store(defaults, kAppKey);
  store.saveEvents(events);
  defaults->flush();  // the standard store gathers changes: the write is part of a save
  const auto fileSize = tilo::platform::FileSystem::readFile(defaults->path())->size();
  // The floor's input: the same list as a JSON tree in its stored form.
  Json tree = Json::array();
  for (const auto& event : events) {
    tree.push_back({{"eventId", event.eventId},
                    {"eventType", tilo::rawValue(event.eventType)},
                    {"createdAt", event.createdAt},
                    {"sessionId", event.sessionId},
                    {"payloadJsonString", event.payloadJsonString}});
  }
  const auto key = tilo::platform::sha256(std::string_view(kAppKey));
  const auto floorPath = defaults->path().parent_path() / "floor.plist";
  const std::string filler(fileSize, 'x');
  auto floor = [&] {
    const std::string json = tree.dump();
    auto box = tilo::platform::aesGcmSeal(
        key, {reinterpret_cast<const std::uint8_t*>(json.data()), json.size()});
    const std::string text = tilo::platform::base64Encode(box->combined());
    benchmark::DoNotOptimize(text.data());
    tilo::platform::FileSystem::atomicWrite(floorPath, filler);
  };
  std::vector<double> ours, bare;
  for (int i = 0; i < 60; ++i) {
    auto start = Clock::now();
    store.saveEvents(events);
    defaults->flush();
    ours.push_back(micros(Clock::now() - start));
    start = Clock::now();
    floor();
    bare.push_back(micros(Clock::now() - start));
  }
  const double a = medianP99(ours).first, b = medianP99(bare).first;
  std::printf("save 1000 events: median %.0f us (floor %.0f us, file %zu bytes)\n", a, b, fileSize);
  std::printf("ratio saveEvents(1000) median: %.3f (target <= 1.3)\n", a / b);
}

}  // namespace

int main(int argc, char** argv) {
  char pattern[] = "/tmp/tilo-logger-bench-XXXXXX";
  const std::filesystem::path container = ::mkdtemp(pattern);
  tilo::platform::AppContainer::setPath(container);
  auto loop = tilo::platform::MainLoop::shared();
  // That thread is the main thread before the SDK is first used here: the first pump, or
  // the first thread to use the SDK, takes the role for good.
  std::promise<void> pumping;
  loop->post([&pumping] { pumping.set_value(); });
  std::thread mainThread([loop] { loop->run(); });
  pumping.get_future().wait();
  auto api = std::make_shared<AcceptingApi>();
  tilo::AdEventLogger::create(api, kAppKey);

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  callerCost();
  throughput(*api);
  tilo::AdEventLogger::resetSharedForTesting();
  storeSave();

  loop->stop();
  mainThread.join();
  std::error_code error;
  std::filesystem::remove_all(container, error);
  return 0;
}
