// The backend API: the application-info fetch with its timed retry loop and cache
// fallback, and the analytics upload.
//
//   auto api = TiloApi::create(resolveApiBaseUrl(env), config.appKey, NetworkClient::create(),
//                              RetryPolicy{3, 2.0, 2.0});
//   api->fetchAppInfo([](Result<TiloAppInfo> result) { ... });   // on a background task
//
// Every asynchronous step holds the API weakly. Sleeps between attempts run on the
// environment clock, so tests fast-forward them.
#pragma once

#include <atomic>

#include <memory>
#include <string>

#include "Tilo/backend/NetworkProtocol.h"
#include "Tilo/base/SdkVersion.h"
#include "Tilo/base/TiloApiProtocol.h"
#include "platform/HttpClient.h"

namespace tilo {

inline constexpr const char* kAdUnitCacheKey = "com.tilo.AdUnit";
inline constexpr double kRequestTimeoutSeconds = 60;

struct RetryPolicy {
  int maxRetries = 3;
  double initialDelay = 2.0;     // seconds before the second attempt
  double delayMultiplier = 2.0;  // growth of the delay after each failed attempt
};

class TiloApi final : public TiloApiProtocol, public std::enable_shared_from_this<TiloApi> {
 public:
  enum class Endpoint {
    appConfiguration,  // GET "/sdk/init"
    analyticsEvents,   // POST "/analytics/events"
  };

  static std::shared_ptr<TiloApi> create(std::string baseURL, std::string appKey,
                                         std::shared_ptr<NetworkProtocol> networkClient,
                                         RetryPolicy retryPolicy,
                                         std::string service = kAdUnitCacheKey);

  // Fails with TiloError "Invalid API URL for <path>" when base URL + path is not a URL.
  Result<platform::HttpRequest> makeRequest(Endpoint endpoint) const;

  // Exactly maxRetries attempts, sleeping initialDelay, then × delayMultiplier, after
  // every failed one (the last included); then NetworkError::maxRetriesExceeded. A
  // success sets the config_fetch marker and refreshes the ad-unit cache.
  void fetchAppInfoWithRetry(int maxRetries, double initialDelay, double delayMultiplier,
                             Completion<TiloAppInfo> completion) override;
  // The start-up fetch: the API's retry policy, then the ad-unit cache.
  void fetchAppInfo(Completion<TiloAppInfo> completion) override;
  // The longest fetchAppInfoWithRetry can take under `policy`: every attempt running into
  // the request timeout, each followed by its wait (the last one included).
  static double worstCaseFetchSeconds(const RetryPolicy& policy);
  void sendEvents(std::string body,
                  std::function<void(std::optional<SdkError>)> completion) override;

  bool appKeyRejected() const override { return appKeyRejected_.load(); }
  std::optional<TiloAppInfo> cachedAppInfo() const override;

  const std::string& baseURL() const { return baseURL_; }
  const RetryPolicy& retryPolicy() const { return retryPolicy_; }

  TiloApi(std::string baseURL, std::string appKey, std::shared_ptr<NetworkProtocol> networkClient,
          RetryPolicy retryPolicy, std::string service);

 private:
  struct Attempts;
  static void attempt(std::weak_ptr<TiloApi> weak, std::shared_ptr<Attempts> state);
  static void attemptFailed(std::weak_ptr<TiloApi> weak, std::shared_ptr<Attempts> state);

  const std::string baseURL_;
  const std::string appKey_;
  const std::shared_ptr<NetworkProtocol> networkClient_;
  const RetryPolicy retryPolicy_;
  const std::string service_;
  std::atomic<bool> appKeyRejected_{false};
};

}  // namespace tilo
