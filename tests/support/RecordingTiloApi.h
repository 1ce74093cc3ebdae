// A TiloApiProtocol that records every events upload and answers it when told to.
//
//   auto api = std::make_shared<RecordingTiloApi>();
//   AdEventLogger::create(api, "app-key");
//   ... log, drive the environment ...
//   ASSERT_EQ(api->uploadCount(), 1u);
//   api->complete(0, std::nullopt);              // success; or an SdkError for failure
//
// With autoAnswer set, uploads are answered at once, inside sendEvents. App-info fetches
// always fail: the telemetry tests never need them. Thread-safe.
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

  void fetchAppInfo(Completion<TiloAppInfo> completion) override;
  void fetchAppInfoWithRetry(int, double, double, Completion<TiloAppInfo> completion) override;
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

 private:
  mutable std::mutex mutex_;
  std::optional<Answer> autoAnswer_;
  std::vector<platform::Json> bodies_;
  std::vector<std::function<void(Answer)>> completions_;
};

}  // namespace tilo::test
