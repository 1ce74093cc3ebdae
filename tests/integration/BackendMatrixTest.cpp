// Hostile backend answers over real loopback HTTP: each must end as one failed attempt of
// the fetch's retry loop (running on mock time) and as an error of the upload, without the
// app key leaving for another host and without the body being inflated or buffered whole.
// A gzip body is refused whatever its size, so a small one stands for a bomb.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "Tilo/backend/NetworkClient.h"
#include "Tilo/backend/TiloApi.h"
#include "Tilo/base/NetworkError.h"
#include "platform/AppContainer.h"
#include "platform/TestEnvironment.h"
#include "platform/UserDefaults.h"
#include "support/LoopbackHttpServer.h"
#include "support/TempDir.h"

namespace tilo::test {
namespace {

constexpr const char* kAppKey = "matrix-app-key";
constexpr const char* kAppInfo =
    R"({"feeRate":0.1,"adUnits":[{"tiloAdUnitId":"u1","mediationAdUnitId":"m1","name":"U","type":"banner"}]})";
constexpr std::size_t kHuge = 100 << 20;

// `json` gzipped as one stored block: JSON for a client that inflates it, gibberish for
// one that does not.
std::string gzipped(const std::string& json) {
  std::uint32_t crc = ~0u;
  for (unsigned char b : json) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = crc & 1 ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
  }
  const auto size = static_cast<std::uint32_t>(json.size());
  std::string out("\x1f\x8b\x08\0\0\0\0\0\0\xff\x01", 11);
  auto put = [&](std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += char((value >> (8 * i)) & 0xFF);
  };
  put(size, 2);
  put(~size, 2);
  out += json;
  put(~crc, 4);
  put(size, 4);
  return out;
}

class BackendMatrixTest : public ::testing::Test {
 protected:
  using Answer = std::function<void(httplib::Response&)>;

  BackendMatrixTest() {
    platform::AppContainer::setPath(container.path());
    auto serve = [this](const httplib::Request&, httplib::Response& res) {
      Answer answer;
      {
        std::lock_guard lock(mutex);
        answer = hostile;
      }
      if (served++ == 0 && answer) {
        answer(res);
      } else {
        res.set_content(kAppInfo, "application/json");
      }
    };
    backend.http().Get("/sdk/init", serve);
    backend.http().Post("/analytics/events", serve);
    backend.start();
    otherHost.http().set_pre_routing_handler([this](const httplib::Request&, httplib::Response&) {
      ++otherHostRequests;
      return httplib::Server::HandlerResponse::Unhandled;
    });
    otherHost.start();
    api = TiloApi::create(backend.url(""), kAppKey,
                          NetworkClient::create(platform::HttpClient::create()),
                          RetryPolicy{2, 2.0, 2.0});
  }
  ~BackendMatrixTest() override { platform::AppContainer::setPath(std::nullopt); }

  // The fetch's first attempt meets `answer`, the second one a good answer. `serverDone`,
  // when given, says that the server has posted all it will about the first attempt: a
  // post arriving later would stand before the retry in the queue.
  void expectOneFailedAttempt(const Answer& answer,
                              const std::function<bool()>& serverDone = nullptr) {
    // The cache the last good answer wrote reaches the file first: its write is not the retry.
    env.advance(platform::UserDefaults::kWriteDelay);
    setHostile(answer);
    std::optional<Result<TiloAppInfo>> result;
    api->fetchAppInfoWithRetry(2, 2.0, 2.0, [&](Result<TiloAppInfo> r) { result = std::move(r); });
    ASSERT_TRUE(env.runUntil(
        [&] { return NetworkClient::requestsInFlight() == 0 && (!serverDone || serverDone()); }));
    EXPECT_FALSE(result.has_value());
    EXPECT_EQ(env.nextDelay(), 2.0);
    env.advance(2.0);
    ASSERT_TRUE(env.runUntil([&] { return result.has_value(); }));
    EXPECT_TRUE(result->ok());
    EXPECT_EQ(served, 2);
  }

  // The upload meets `answer`; returns the error it completed with.
  std::optional<SdkError> upload(const Answer& answer) {
    setHostile(answer);
    std::optional<std::optional<SdkError>> error;
    api->sendEvents(R"({"events":[]})", [&](std::optional<SdkError> e) { error = std::move(e); });
    EXPECT_TRUE(env.runUntil([&] { return error.has_value(); }));
    return error.value_or(std::nullopt);
  }

  void setHostile(const Answer& answer) {
    std::lock_guard lock(mutex);
    hostile = answer;
    served = 0;
  }

  // The URL error's code of a transport failure, the status of a refused answer; 0 if none.
  static long errorCode(const std::optional<SdkError>& error) {
    if (auto* refused = error ? std::get_if<NetworkError>(&*error) : nullptr) {
      return refused->statusCode();
    }
    auto* transport = error ? std::get_if<TransportError>(&*error) : nullptr;
    return transport ? transport->urlError().code : 0;
  }

  TempDir container;
  platform::TestEnvironment env;
  std::atomic<int> served{0};
  std::atomic<int> otherHostRequests{0};
  std::mutex mutex;  // the server's threads read `hostile`
  Answer hostile;
  LoopbackHttpServer backend;
  LoopbackHttpServer otherHost;
  std::shared_ptr<TiloApi> api;  // talks to `backend`, so it goes first
};

// Refused on their headers: a redirect to another host (not followed, so the app key never
// reaches it), a gzip body (never inflated) and a declared length over the cap (fails
// before the body is read).
TEST_F(BackendMatrixTest, RedirectGzipBodyAndDeclaredLengthOverTheCapAreRefused) {
  const struct {
    const char* name;
    Answer answer;
    long code;
  } cases[] = {
      {"redirect",
       [&](httplib::Response& res) { res.set_redirect(otherHost.url("/sdk/init"), 307); }, 307},
      {"gzip",
       [](httplib::Response& res) {
         res.set_content(gzipped(kAppInfo), "application/json");
         res.set_header("Content-Encoding", "gzip");
       },
       platform::kUrlErrorCannotDecodeContentData},
      {"declared 100 MB",
       [](httplib::Response& res) {
         res.set_content_provider(
             kHuge, "application/json",
             [](std::size_t, std::size_t, httplib::DataSink&) { return false; });
       },
       platform::kUrlErrorDataLengthExceedsMaximum},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    expectOneFailedAttempt(c.answer);
    EXPECT_EQ(errorCode(upload(c.answer)), c.code);
  }
  EXPECT_EQ(otherHostRequests, 0);
}

// A chunked body without a declared length is cut once past the cap.
TEST_F(BackendMatrixTest, HundredMegabyteChunkedBodyIsCutAtTheCap) {
  std::atomic<std::size_t> written{0};
  std::atomic<int> finished{0};
  auto main = env.mainExecutor();
  const Answer endless = [&](httplib::Response& res) {
    res.set_chunked_content_provider("application/json", [&, chunk = std::string(64 << 10, ' ')](
                                                             std::size_t, httplib::DataSink& sink) {
      if (written >= kHuge || !sink.write(chunk.data(), chunk.size())) {
        if (written < kHuge) main->post([&] { ++finished; });
        return false;
      }
      written += chunk.size();
      return true;
    });
  };
  expectOneFailedAttempt(endless, [&] { return finished == 1; });
  EXPECT_LT(written, std::size_t{24 << 20});
  written = 0;
  EXPECT_EQ(errorCode(upload(endless)), platform::kUrlErrorDataLengthExceedsMaximum);
  ASSERT_TRUE(env.runUntil([&] { return finished == 2; }));
  EXPECT_LT(written, std::size_t{24 << 20});
}

}  // namespace
}  // namespace tilo::test
