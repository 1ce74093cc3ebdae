// A scripted backend API for service, synchronizer and logger tests. Every call is
// recorded with its completion; the test answers it when it chooses:
//
//   auto api = std::make_shared<FakeTiloApi>();
//   service->resync("unit");  env.runUntilIdle();
//   api->retryCalls.at(0).completion(appInfo);
//
// Nothing is answered by itself, so a test controls every ordering.
#pragma once

#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "Tilo/base/TiloApiProtocol.h"

namespace tilo::test {

class FakeTiloApi final : public TiloApiProtocol {
 public:
  struct RetryCall {
    int maxRetries;
    double initialDelay;
    double delayMultiplier;
    Completion<TiloAppInfo> completion;
  };
  struct EventsCall {
    std::string body;
    std::function<void(std::optional<SdkError>)> completion;
  };

  void fetchAppInfo(Completion<TiloAppInfo> completion) override {
    std::lock_guard lock(mutex);
    fetchCalls.push_back(std::move(completion));
  }
  void fetchAppInfoWithRetry(int maxRetries, double initialDelay, double delayMultiplier,
                             Completion<TiloAppInfo> completion) override {
    std::lock_guard lock(mutex);
    retryCalls.push_back({maxRetries, initialDelay, delayMultiplier, std::move(completion)});
  }
  void sendEvents(std::string body,
                  std::function<void(std::optional<SdkError>)> completion) override {
    std::lock_guard lock(mutex);
    eventsCalls.push_back({std::move(body), std::move(completion)});
  }

  std::optional<TiloAppInfo> cachedAppInfo() const override { return cached; }

  std::mutex mutex;
  std::optional<TiloAppInfo> cached;  // the ad-unit cache of an "earlier run"
  std::vector<Completion<TiloAppInfo>> fetchCalls;
  std::vector<RetryCall> retryCalls;
  std::vector<EventsCall> eventsCalls;
};

}  // namespace tilo::test
