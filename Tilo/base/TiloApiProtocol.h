// The backend API the service and the event logger depend on.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "Tilo/base/Result.h"
#include "Tilo/base/TiloAppInfo.h"
#include "platform/Json.h"

namespace tilo {

class TiloApiProtocol {
 public:
  virtual ~TiloApiProtocol() = default;
  // Start-up fetch: retries with the API's policy, then falls back to the ad-unit cache.
  virtual void fetchAppInfo(Completion<TiloAppInfo> completion) = 0;
  virtual void fetchAppInfoWithRetry(int maxRetries, double initialDelay, double delayMultiplier,
                                     Completion<TiloAppInfo> completion) = 0;
  // Posts the analytics body, already compact JSON text; completion gets no error when
  // delivered.
  virtual void sendEvents(std::string body,
                          std::function<void(std::optional<SdkError>)> completion) = 0;
  // Whether the backend refused the app key (HTTP 401) on the latest app-info attempt.
  virtual bool appKeyRejected() const { return false; }
  // The ad-unit cache an earlier run left, if any.
  virtual std::optional<TiloAppInfo> cachedAppInfo() const { return std::nullopt; }
};

}  // namespace tilo
