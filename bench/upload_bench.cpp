// Uploading one batch of 20 analytics events to the development backend on loopback over
// a reused connection, through the SDK's own API client (TiloApi -> NetworkClient -> the
// libcurl client). Target: under 5 ms at p99. A step near 40 ms would mean Nagle's
// algorithm delaying the body; both sides set TCP_NODELAY.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "Tilo/backend/NetworkClient.h"
#include "Tilo/backend/TiloApi.h"
#include "Tilo/telemetry/AdLogEvent.h"
#include "tools/devserver/DevServer.h"

using namespace tilo;

int main() {
  const std::string appKey = "bench-app-key";
  std::string error;
  devserver::DevServerOptions options;
  options.appKey = appKey;
  options.appInfoJson = R"({"adUnits":[],"feeRate":0})";
  auto server = devserver::DevServer::start(options, &error);
  if (!server) {
    std::fprintf(stderr, "devserver: %s\n", error.c_str());
    return 1;
  }
  auto api = TiloApi::create(server->baseUrl(), appKey, NetworkClient::create(), RetryPolicy{});
  const TiloAdInfo info{TiloAdFormat::rewarded, "bench-unit", 120.0, std::string("AdMob")};

  std::mutex mutex;
  std::condition_variable done;
  constexpr int kWarmup = 20, kRounds = 500;
  std::vector<double> micros;
  for (int round = 0; round < kWarmup + kRounds; ++round) {
    std::vector<AdLogEvent> events;
    for (int i = 0; i < 20; ++i) {
      events.push_back(AdLogEvent::make(AdLogEventType::adImpression, makeAdEventPayload(info)));
    }
    auto body = makeEventsUploadBody(events);
    bool finished = false;
    std::optional<SdkError> failure;
    const auto start = std::chrono::steady_clock::now();
    api->sendEvents(std::move(body), [&](std::optional<SdkError> e) {
      std::lock_guard lock(mutex);
      failure = e;
      finished = true;
      done.notify_one();
    });
    std::unique_lock lock(mutex);
    done.wait(lock, [&] { return finished; });
    const auto elapsed = std::chrono::steady_clock::now() - start;
    if (failure) {
      std::fprintf(stderr, "upload failed: %s\n", localizedDescription(*failure).c_str());
      return 1;
    }
    if (round >= kWarmup)
      micros.push_back(std::chrono::duration<double, std::micro>(elapsed).count());
  }
  std::sort(micros.begin(), micros.end());
  auto at = [&](double q) { return micros[static_cast<std::size_t>(q * (micros.size() - 1))]; };
  std::printf(
      "upload of 20 events over loopback (%d rounds): median %.0f us, p90 %.0f us, "
      "p99 %.0f us, max %.0f us (target p99 < 5000 us)\n",
      kRounds, at(0.5), at(0.9), at(0.99), micros.back());
  std::printf("backend stored %zu events\n", server->storedEvents().size());
  return 0;
}
