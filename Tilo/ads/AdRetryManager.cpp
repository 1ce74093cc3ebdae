#include "Tilo/ads/AdRetryManager.h"

#include <algorithm>
#include <cmath>

#include "Tilo/base/TiloLogger.h"

namespace tilo {

std::shared_ptr<AdRetryManager> AdRetryManager::create(AdRetryPolicy policy) {
  return std::make_shared<AdRetryManager>(policy);
}

double AdRetryManager::delayForRetry(int count) const {
  return std::min(policy_.baseDelay * std::pow(1.5, count), policy_.maxDelay);
}

void AdRetryManager::cancelRetry() {
  if (retryTimer_) retryTimer_->invalidate();
  retryTimer_.reset();
}

void AdRetryManager::scheduleRetry(const std::string& typeName, std::function<void()> action) {
  const int count = retryCount_;
  if (count > policy_.maxRequestRetryCount - 1) {
    log("🚫 " + typeName + " 최대 재시도 횟수 초과 - 단위 총 " + std::to_string(count) +
            "회 시도 후 포기",
        TiloLogLevel::error);
    retryCount_ = 0;
    return;
  }
  cancelRetry();
  std::weak_ptr<AdRetryManager> weak = weak_from_this();
  auto fired = std::make_shared<std::weak_ptr<platform::Timer>>();
  retryTimer_ = platform::Timer::scheduled(delayForRetry(count), false, [weak, fired, action] {
    action();
    auto self = weak.lock();
    if (!self) return;
    ++self->retryCount_;
    // The action may already have scheduled the next retry; only this one is cleared.
    if (self->retryTimer_ && self->retryTimer_ == fired->lock()) self->cancelRetry();
  });
  *fired = retryTimer_;
}

}  // namespace tilo
