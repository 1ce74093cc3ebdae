#include "Tilo/backend/TiloApi.h"

#include "Tilo/backend/AdUnitCache.h"
#include "Tilo/base/ApiBaseUrl.h"
#include "Tilo/base/NetworkError.h"
#include "Tilo/base/TiloError.h"
#include "Tilo/base/TiloLogger.h"
#include "Tilo/telemetry/CrashMarkers.h"
#include "platform/Environment.h"

namespace tilo {

struct TiloApi::Attempts {
  int maxRetries;
  double delayMultiplier;
  std::string service;
  Completion<TiloAppInfo> completion;
  int attempt = 0;
  double delay;
};

namespace {

NetworkError maxRetriesExceeded(int maxRetries) {
  log("NetworkClient: Max retries exceeded " + std::to_string(maxRetries), TiloLogLevel::error);
  return NetworkError::maxRetriesExceeded(maxRetries);
}

// What a URL parser would refuse outright: no scheme or host, or characters that
// cannot appear unescaped.
bool isValidUrl(const std::string& url) {
  const auto scheme = url.find("://");
  if (scheme == std::string::npos || scheme == 0 || scheme + 3 >= url.size()) return false;
  for (unsigned char c : url) {
    if (c <= 0x20 || c >= 0x7f || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' ||
        c == '`' || c == '{' || c == '|' || c == '}') {
      return false;
    }
  }
  return true;
}

}  // namespace

std::shared_ptr<TiloApi> TiloApi::create(std::string baseURL, std::string appKey,
                                         std::shared_ptr<NetworkProtocol> networkClient,
                                         RetryPolicy retryPolicy, std::string service) {
  return std::make_shared<TiloApi>(std::move(baseURL), std::move(appKey), std::move(networkClient),
                                   retryPolicy, std::move(service));
}

TiloApi::TiloApi(std::string baseURL, std::string appKey,
                 std::shared_ptr<NetworkProtocol> networkClient, RetryPolicy retryPolicy,
                 std::string service)
    : baseURL_(std::move(baseURL)),
      appKey_(std::move(appKey)),
      networkClient_(std::move(networkClient)),
      retryPolicy_(retryPolicy),
      service_(std::move(service)) {}

Result<platform::HttpRequest> TiloApi::makeRequest(Endpoint endpoint) const {
  const bool events = endpoint == Endpoint::analyticsEvents;
  const std::string path = events ? "/analytics/events" : "/sdk/init";
  platform::HttpRequest request;
  request.url = baseURL_ + path;
  if (!isValidUrl(request.url)) {
    return Result<platform::HttpRequest>::failure(
        TiloError(TiloError::Code::initializationFailed, "Invalid API URL for " + path));
  }
  request.timeoutSeconds = kRequestTimeoutSeconds;
  request.method = events ? "POST" : "GET";
  if (events) request.headers.emplace_back("Content-Type", "application/json");
  request.headers.emplace_back("Tilo-App-Key", appKey_);
  request.headers.emplace_back("Sdk-Version", kSdkVersion);
  // Here rather than at start-up: by the first request the host has set the log level.
  warnAboutDevelopmentOverridesOnce(baseURL_);
  return request;
}

void TiloApi::fetchAppInfoWithRetry(int maxRetries, double initialDelay, double delayMultiplier,
                                    Completion<TiloAppInfo> completion) {
  if (maxRetries < 1) {
    completion(Result<TiloAppInfo>::failure(maxRetriesExceeded(maxRetries)));
    return;
  }
  auto state = std::make_shared<Attempts>(
      Attempts{maxRetries, delayMultiplier, service_, std::move(completion), 0, initialDelay});
  attempt(weak_from_this(), std::move(state));
}

namespace {

// What went wrong with a request, with the transport's own cause ("Could not connect to
// the server. (Connection refused)") or the status the server answered.
std::string describeFailure(const SdkError& error) {
  if (auto* transport = std::get_if<TransportError>(&error)) {
    const auto& url = transport->urlError();
    return url.failureReason.empty() ? url.localizedDescription
                                     : url.localizedDescription + " (" + url.failureReason + ")";
  }
  return localizedDescription(error);
}

}  // namespace

void TiloApi::attempt(std::weak_ptr<TiloApi> weak, std::shared_ptr<Attempts> state) {
  auto self = weak.lock();
  if (!self) {
    attemptFailed(weak, std::move(state));
    return;
  }
  auto made = self->makeRequest(Endpoint::appConfiguration);
  if (!made) {
    attemptFailed(weak, std::move(state));
    return;
  }
  platform::HttpRequest request = std::move(made.value());
  auto client = self->networkClient_;
  self.reset();
  std::string target = request.method + " " + request.url;
  client->dataForRequest(std::move(request), [weak, state, target = std::move(target)](
                                                 Result<platform::HttpResponse> result) {
    const auto* refused = std::get_if<NetworkError>(result.error());
    const bool rejected = refused && refused->kind() == NetworkError::Kind::badResponse &&
                          refused->statusCode() == 401;
    if (auto self = weak.lock()) self->appKeyRejected_ = rejected;
    if (rejected) log(TiloError::appKeyRejected().message(), TiloLogLevel::error);
    if (!result) {
      // The retry and the cache hide the cause from the host: the log keeps it.
      log(target + " failed: " + describeFailure(*result.error()), TiloLogLevel::error);
      attemptFailed(weak, state);
      return;
    }
    std::optional<TiloAppInfo> info;
    try {
      info = TiloAppInfo::decode(platform::parseJson(result.value().body));
    } catch (const std::exception& error) {  // an undecodable answer is a failed attempt
      // Where and why, so that whoever fixes the backend's answer needs nothing else.
      const auto* located = dynamic_cast<const AppInfoDecodingError*>(&error);
      log("Undecodable answer from /sdk/init: " + (located ? located->summary() : error.what()),
          TiloLogLevel::error);
      attemptFailed(weak, state);
      return;
    }
    setMarker(CrashMarkerCheckpoint::configFetch,
              CheckpointMetadata::configFetch(
                  StageResult::success,
                  CacheStageResult{CacheStageResult::Type::save, StageResult::inProgress}));
    AdUnitCache::write(state->service, *info);
    state->completion(std::move(*info));
  });
}

void TiloApi::attemptFailed(std::weak_ptr<TiloApi> weak, std::shared_ptr<Attempts> state) {
  const double delay = state->delay;
  platform::Environment::current().backgroundExecutor()->postDelayed(
      [weak = std::move(weak), state = std::move(state)] {
        if (state->attempt + 1 == state->maxRetries) {
          state->completion(Result<TiloAppInfo>::failure(maxRetriesExceeded(state->maxRetries)));
          return;
        }
        ++state->attempt;
        state->delay *= state->delayMultiplier;
        attempt(weak, state);
      },
      delay);
}

double TiloApi::worstCaseFetchSeconds(const RetryPolicy& policy) {
  double total = 0;
  double delay = policy.initialDelay;
  for (int attempt = 0; attempt < policy.maxRetries; ++attempt) {
    total += kRequestTimeoutSeconds + delay;
    delay *= policy.delayMultiplier;
  }
  return total;
}

void TiloApi::fetchAppInfo(Completion<TiloAppInfo> completion) {
  setMarker(CrashMarkerCheckpoint::configFetch,
            CheckpointMetadata::configFetch(StageResult::inProgress, std::nullopt));
  fetchAppInfoWithRetry(
      retryPolicy_.maxRetries, retryPolicy_.initialDelay, retryPolicy_.delayMultiplier,
      [service = service_, completion = std::move(completion)](Result<TiloAppInfo> result) {
        if (result) {
          clearMarker(CrashMarkerCheckpoint::configFetch);
          completion(std::move(result));
          return;
        }
        setMarker(CrashMarkerCheckpoint::configFetch,
                  CheckpointMetadata::configFetch(
                      StageResult::failure,
                      CacheStageResult{CacheStageResult::Type::load, StageResult::inProgress}));
        auto cached = AdUnitCache::read(service);
        clearMarker(CrashMarkerCheckpoint::configFetch);
        if (cached) {
          completion(std::move(*cached));
        } else {
          completion(std::move(result));
        }
      });
}

std::optional<TiloAppInfo> TiloApi::cachedAppInfo() const {
  return AdUnitCache::read(service_);
}

void TiloApi::sendEvents(std::string body,
                         std::function<void(std::optional<SdkError>)> completion) {
  auto made = makeRequest(Endpoint::analyticsEvents);
  if (!made) {
    completion(*made.error());
    return;
  }
  platform::HttpRequest request = std::move(made.value());
  request.body = std::move(body);
  platform::postBackground([weak = weak_from_this(), request = std::move(request),
                            completion = std::move(completion)]() mutable {
    auto self = weak.lock();
    if (!self) {
      completion(TiloError(TiloError::Code::initializationFailed, "API instance deallocated"));
      return;
    }
    self->networkClient_->dataForRequest(
        std::move(request), [completion](Result<platform::HttpResponse> result) {
          if (!result) {
            // Cancelled only by the SDK's own shutdown, which saved the events first: no
            // failure to report.
            const auto* transport = std::get_if<TransportError>(result.error());
            if (!transport || transport->urlError().code != platform::kUrlErrorCancelled) {
              log("Failed to send request: " + localizedDescription(*result.error()),
                  TiloLogLevel::error);
            }
            completion(*result.error());
            return;
          }
          completion(std::nullopt);
        });
  });
}

}  // namespace tilo
