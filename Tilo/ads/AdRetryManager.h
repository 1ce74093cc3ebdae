// Retries a failed load after a growing delay: baseDelay × 1.5^n seconds (at most
// maxDelay), where n is the number of retries fired since the count was last cleared.
// After ten retries the next request gives up with one error line and clears the count.
//
//   auto retry = AdRetryManager::create();
//   retry->scheduleRetry("배너", [weak] { if (auto self = weak.lock()) self->reload(); });
//
// Main thread only. The timer holds the manager weakly: releasing the manager cancels a
// waiting retry.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "Tilo/ads/AdRetryPolicy.h"
#include "platform/Timer.h"

namespace tilo {

class AdRetryManager : public std::enable_shared_from_this<AdRetryManager> {
 public:
  static std::shared_ptr<AdRetryManager> create(AdRetryPolicy policy = {});
  explicit AdRetryManager(AdRetryPolicy policy) : policy_(policy) {}

  // Replaces any waiting retry. `action` runs once when the delay has passed; the count
  // then grows by one.
  void scheduleRetry(const std::string& typeName, std::function<void()> action);
  // Invalidates and clears the waiting retry, if any.
  void cancelRetry();
  // The delay of the retry that follows `count` earlier ones, in seconds.
  double delayForRetry(int count) const;

  int retryCount() const { return retryCount_; }
  void setRetryCount(int count) { retryCount_ = count; }
  const std::shared_ptr<platform::Timer>& retryTimer() const { return retryTimer_; }
  const AdRetryPolicy& policy() const { return policy_; }

 private:
  std::shared_ptr<platform::Timer> retryTimer_;
  int retryCount_ = 0;
  AdRetryPolicy policy_;
};

}  // namespace tilo
