// A TiloApiProtocol that records every call and answers it when told to.
//
//   auto api = std::make_shared<RecordingTiloApi>();
//   AdEventLogger::create(api, "app-key");
//   ... log, drive the environment ...
//   ASSERT_EQ(api->uploadCount(), 1u);
//   api->complete(0, std::nullopt);              // success; or an SdkError for failure
//
// With autoAnswer set, uploads are answered at once, inside sendEvents. App-info fetches
// are only recorded: the test answers them through fetchCalls and retryCalls, so it
// controls every ordering.
#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Tilo/base/TiloApiProtocol.h"

namespace tilo::test {

class RecordingTiloApi final : public TiloApiProtocol {
 public:
  // nullopt holds every upload until complete(); a value answers each one at once with it.
  using Answer = std::optional<SdkError>;  // no error is success
  explicit RecordingTiloApi(std::optional<Answer> autoAnswer = std::nullopt)
      : autoAnswer_(std::move(autoAnswer)) {}

  struct RetryCall {
    int maxRetries;
    double initialDelay;
    double delayMultiplier;
    Completion<TiloAppInfo> completion;
  };
  void fetchAppInfo(Completion<TiloAppInfo> completion) override {
    std::lock_guard lock(mutex_);
    fetchCalls.push_back(std::move(completion));
  }
  void fetchAppInfoWithRetry(int maxRetries, double initialDelay, double delayMultiplier,
                             Completion<TiloAppInfo> completion) override {
    std::lock_guard lock(mutex_);
    retryCalls.push_back({maxRetries, initialDelay, delayMultiplier, std::move(completion)});
  }
  std::optional<TiloAppInfo> cachedAppInfo() const override { return cached; }
  void sendEvents(std::string body, std::function<void(Answer)> completion) override;

  std::size_t uploadCount() const;
  // Upload `index`'s body, parsed (keys in the order sent).
  platform::Json body(std::size_t index) const;
  // The "eventId" of every event of upload `index`, in order.
  std::vector<std::string> eventIds(std::size_t index) const;
  // Every event object of every upload, in order.
  std::vector<platform::Json> allEvents() const;
  // Answers upload `index` (held uploads only).
  void complete(std::size_t index, Answer answer);

  // Read them once the work is idle.
  std::vector<Completion<TiloAppInfo>> fetchCalls;
  std::vector<RetryCall> retryCalls;
  std::optional<TiloAppInfo> cached;  // the ad-unit cache of an "earlier run"

 private:
  mutable std::mutex mutex_;
  std::optional<Answer> autoAnswer_;
  std::vector<platform::Json> bodies_;
  std::vector<std::function<void(Answer)>> completions_;
};

}  // namespace tilo::test
