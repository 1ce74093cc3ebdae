#include <gtest/gtest.h>

#include "Tilo/backend/AdUnitCache.h"
#include "Tilo/backend/NetworkClient.h"
#include "Tilo/backend/TiloApi.h"
#include "Tilo/base/NetworkError.h"
#include "Tilo/base/TiloError.h"
#include "Tilo/base/TiloLogger.h"
#include "Tilo/telemetry/CrashMarkers.h"
#include "Tilo/telemetry/MarkerFiles.h"
#include "platform/UserDefaults.h"
#include "support/SdkFixture.h"

namespace tilo {
namespace {

using platform::HttpRequest;
using platform::HttpResponse;

const char* kGoodInfo =
    R"({"feeRate":0.1,"adUnits":[{"tiloAdUnitId":"u1","mediationAdUnitId":"m1","name":"U","type":"banner"}]})";

// Answers each request from a script, in order, as a background task; records requests
// and the mock time at which they were made.
class ScriptedNetwork final : public NetworkProtocol {
 public:
  struct Answer {
    long status;
    std::string body;
  };
  void dataForRequest(HttpRequest request, Completion<HttpResponse> completion) override {
    requests.push_back(request);
    times.push_back(platform::Environment::current().clock().uptime());
    Answer answer = script.empty() ? Answer{500, ""} : script.front();
    if (!script.empty()) script.erase(script.begin());
    platform::postBackground([answer, completion] {
      if (answer.status < 0) {
        completion(Result<HttpResponse>::failure(
            TransportError(platform::UrlError::withCode(answer.status))));
      } else if (answer.status < 200 || answer.status > 299) {
        completion(Result<HttpResponse>::failure(
            NetworkError::badResponse(answer.status, "Invalid response")));
      } else {
        completion(HttpResponse{answer.status, {}, answer.body, ""});
      }
    });
  }
  std::vector<Answer> script;
  std::vector<HttpRequest> requests;
  std::vector<double> times;
};

// Method, URL, timeout and every header in order.
std::string describe(const HttpRequest& request) {
  std::string out = request.method + " " + request.url + " " +
                    std::to_string(static_cast<int>(request.timeoutSeconds));
  for (const auto& [key, value] : request.headers) out += " | " + key + ": " + value;
  return out;
}

class TiloApiTest : public ::testing::Test {
 protected:
  TiloApiTest() : sdk_(test::SdkFixtureOptions::offline()) {
    setCurrentLogLevel(TiloLogLevel::error);
    api_ =
        TiloApi::create("https://api.example.test", "app-key", network_, RetryPolicy{3, 2.0, 2.0});
  }
  ~TiloApiTest() override { setCurrentLogLevel(TiloLogLevel::off); }

  test::SdkFixture sdk_;
  std::shared_ptr<ScriptedNetwork> network_ = std::make_shared<ScriptedNetwork>();
  std::shared_ptr<TiloApi> api_;
  std::optional<Result<TiloAppInfo>> result_;
  Completion<TiloAppInfo> capture() {
    return [this](Result<TiloAppInfo> result) { result_.emplace(std::move(result)); };
  }
};

TEST_F(TiloApiTest, RetriesWithGrowingSleepsThenGivesUp) {
  ScopedLogCapture logs;
  api_->fetchAppInfoWithRetry(0, 2.0, 2.0, capture());
  ASSERT_TRUE(result_);
  EXPECT_EQ(std::get_if<NetworkError>(result_->error())->maxRetries(), 0);
  EXPECT_TRUE(network_->requests.empty());
  EXPECT_EQ(logs.count("ERROR NetworkClient: Max retries exceeded 0"), 1u);

  result_.reset();
  network_->script = {{500, ""}, {304, ""}, {-1004, ""}};
  api_->fetchAppInfoWithRetry(3, 2.0, 2.0, capture());
  auto& env = sdk_.env();
  env.runUntilIdle();
  env.advance(13.999);
  // Attempts at 0, 2 and 6 s; the loop still sleeps 8 s after the third failure.
  EXPECT_EQ(network_->times, (std::vector<double>{0.0, 2.0, 6.0}));
  EXPECT_FALSE(result_);
  env.advance(0.001);
  ASSERT_TRUE(result_);
  auto error = std::get_if<NetworkError>(result_->error());
  ASSERT_TRUE(error);
  EXPECT_EQ(error->kind(), NetworkError::Kind::maxRetriesExceeded);
  EXPECT_EQ(error->maxRetries(), 3);
  EXPECT_EQ(network_->requests.size(), 3u);
  EXPECT_EQ(logs.count("ERROR NetworkClient: Max retries exceeded 3"), 1u);
  // Hosts wait for start-up as long as its worst case: every attempt timing out, and the
  // sleeps above.
  EXPECT_DOUBLE_EQ(TiloApi::worstCaseFetchSeconds(RetryPolicy{3, 2.0, 2.0}), 3 * 60 + 14.0);
}

// An undecodable answer and a refused app key are failed attempts that say why, once each:
// where the answer is wrong, or that the key is the problem.
TEST_F(TiloApiTest, BadAnswersAreRetriedSayingWhyAndSuccessRefreshesTheCache) {
  setEnableMarkerCheckpoints(true);
  ScopedLogCapture logs;
  const std::string rejected = "ERROR " + TiloError::appKeyRejected().message();
  network_->script = {
      {200, R"({"feeRate":0.1,"adUnits":[{"tiloAdUnitId":7}]})"}, {401, ""}, {200, kGoodInfo}};
  api_->fetchAppInfoWithRetry(3, 0.5, 1.0, capture());
  sdk_.env().runUntilIdle();
  EXPECT_EQ(logs.count("ERROR Undecodable answer from /sdk/init: adUnits[0].tiloAdUnitId: "
                       "expected a string, found number 7"),
            1u);
  EXPECT_FALSE(api_->appKeyRejected());
  sdk_.env().advance(0.5);
  EXPECT_FALSE(result_);
  EXPECT_TRUE(api_->appKeyRejected());
  EXPECT_EQ(logs.count(rejected), 1u);
  sdk_.env().advance(0.5);
  ASSERT_TRUE(result_ && result_->ok());
  EXPECT_FALSE(api_->appKeyRejected());
  EXPECT_EQ(logs.count("Undecodable answer"), 1u);
  EXPECT_EQ(logs.count(rejected), 1u);
  EXPECT_EQ(result_->value().adUnits.at(0).tiloAdUnitId, "u1");
  EXPECT_EQ(AdUnitCache::read(kAdUnitCacheKey), result_->value());
  // The success leaves the config_fetch marker (remote success, cache save) for its caller.
  auto marker =
      crashMarkerFileQueue().sync([] { return readMarkerFile("tilo_crash_config_fetch.flag"); });
  ASSERT_TRUE(marker);
  EXPECT_NE(marker->find("\"remoteFinalResult\":\"success\""), std::string::npos) << *marker;
}

TEST_F(TiloApiTest, StartupFetchFallsBackToTheCache) {
  setEnableMarkerCheckpoints(true);
  // 1. No cache: the fetch error comes through.
  api_->fetchAppInfo(capture());
  ASSERT_TRUE(sdk_.drive([&] { return result_.has_value(); }));
  EXPECT_TRUE(std::get_if<NetworkError>(result_->error()));

  // 2. With a cache from an earlier run, the cached units come back without sdkConfig.
  auto cached = TiloAppInfo::decode(platform::parseJson(kGoodInfo));
  cached.sdkConfig = SdkConfig{true};
  AdUnitCache::write(kAdUnitCacheKey, cached);
  EXPECT_EQ(api_->cachedAppInfo()->adUnits, cached.adUnits);  // what starts the SDK at once
  result_.reset();
  api_->fetchAppInfo(capture());
  ASSERT_TRUE(sdk_.drive([&] { return result_.has_value(); }));
  ASSERT_TRUE(result_->ok());
  EXPECT_EQ(result_->value().adUnits, cached.adUnits);
  EXPECT_EQ(result_->value().sdkConfig, std::nullopt);
  EXPECT_EQ(network_->requests.size(), 6u);
  // The fallback clears the config_fetch marker it set.
  EXPECT_FALSE(
      crashMarkerFileQueue().sync([] { return readMarkerFile("tilo_crash_config_fetch.flag"); }));
}

TEST_F(TiloApiTest, RequestsCarryTheSdkHeaders) {
  EXPECT_EQ(describe(api_->makeRequest(TiloApi::Endpoint::appConfiguration).value()),
            "GET https://api.example.test/sdk/init 60 | Tilo-App-Key: app-key | "
            "Sdk-Version: 1.1.44-beta");
  EXPECT_EQ(describe(api_->makeRequest(TiloApi::Endpoint::analyticsEvents).value()),
            "POST https://api.example.test/analytics/events 60 | Content-Type: application/json "
            "| Tilo-App-Key: app-key | Sdk-Version: 1.1.44-beta");
  auto broken = TiloApi::create("not a url", "k", network_, RetryPolicy{});
  auto refused = broken->makeRequest(TiloApi::Endpoint::analyticsEvents);
  ASSERT_FALSE(refused);
  EXPECT_EQ(std::get<TiloError>(*refused.error()).debugDescription(),
            "initializationFailed, Invalid API URL for /analytics/events");
}

TEST_F(TiloApiTest, EventUploads) {
  ScopedLogCapture logs;
  std::vector<std::string> outcomes;
  auto record = [&](std::optional<SdkError> error) {
    if (!error) return outcomes.push_back("ok");
    if (auto* transport = std::get_if<TransportError>(&*error)) {
      return outcomes.push_back(std::to_string(transport->urlError().code));
    }
    outcomes.push_back(std::get<TiloError>(*error).message());
  };
  auto send = [&](const std::string& body) {
    api_->sendEvents(body, record);
    sdk_.env().runUntilIdle();
  };
  // 201 is a success, the body going out as given; a transport failure is handed back
  // unchanged and logged; one cancelled by the shutdown too, without an error line.
  network_->script = {{201, R"({"stored":1})"}, {-1009, ""}, {-999, ""}};
  send(R"({"sdkVersion":"1.1.44-beta","events":[]})");
  EXPECT_EQ(network_->requests[0].body, R"({"sdkVersion":"1.1.44-beta","events":[]})");
  send(R"({"events":[]})");
  EXPECT_EQ(logs.count("ERROR Failed to send request: "), 1u);
  send(R"({"events":[]})");
  EXPECT_EQ(logs.count("ERROR Failed to send request: "), 1u);
  // An API released before the task runs reports itself gone.
  api_->sendEvents(R"({"events":[]})", record);
  api_.reset();
  sdk_.env().runUntilIdle();
  EXPECT_EQ(outcomes,
            (std::vector<std::string>{"ok", "-1009", "-999", "API instance deallocated"}));
  EXPECT_EQ(network_->requests.size(), 3u);
}

TEST_F(TiloApiTest, CacheBlobIsObfuscatedBoundedAndDamageIsSurvived) {
  ScopedLogCapture logs;
  auto info = TiloAppInfo::decode(platform::parseJson(kGoodInfo));
  AdUnitCache::write(kAdUnitCacheKey, info);
  auto blob = platform::UserDefaults::standard()->data(kAdUnitCacheKey);
  ASSERT_TRUE(blob && !blob->empty());
  std::uint8_t key = 0;
  for (char c : std::string(kAdUnitCacheKey)) key ^= static_cast<std::uint8_t>(c);
  EXPECT_EQ((*blob)[0], '{' ^ key);
  EXPECT_EQ(AdUnitCache::read(kAdUnitCacheKey), info);

  // A damaged blob reads as no cache, is logged, and stays where it is.
  platform::UserDefaults::standard()->setData(kAdUnitCacheKey, platform::Bytes{1, 2, 3});
  EXPECT_EQ(AdUnitCache::read(kAdUnitCacheKey), std::nullopt);
  EXPECT_EQ(logs.count("ERROR Failed to decode ad units from cache: "), 1u);
  EXPECT_EQ(platform::UserDefaults::standard()->data(kAdUnitCacheKey), (platform::Bytes{1, 2, 3}));

  // An info too large to share the host's preferences file is not cached: the blob in
  // place stays.
  auto huge = info;
  huge.adUnits[0].name = std::string(AdUnitCache::kMaxBytes, 'n');
  AdUnitCache::write(kAdUnitCacheKey, huge);
  EXPECT_EQ(logs.count("ERROR Failed to encode ad units for cache: the ad units take more than "
                       "1048576 bytes"),
            1u);
  EXPECT_EQ(platform::UserDefaults::standard()->data(kAdUnitCacheKey), (platform::Bytes{1, 2, 3}));
}

}  // namespace
}  // namespace tilo
