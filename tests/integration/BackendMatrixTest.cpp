// Hostile backend answers over real loopback HTTP: each must end as an error of the request
// (the upload's here; a failed attempt of the fetch's retry loop is any error: TiloApiTest),
// without the app key leaving for another host and without the body being inflated or
// buffered whole. A gzip body is refused whatever it holds, so a gzip header stands for a bomb.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "Tilo/backend/NetworkClient.h"
#include "Tilo/backend/TiloApi.h"
#include "Tilo/base/NetworkError.h"
#include "platform/AppContainer.h"
#include "platform/TestEnvironment.h"
#include "support/LoopbackHttpServer.h"
#include "support/TempDir.h"

namespace tilo::test {
namespace {

constexpr const char* kAppKey = "matrix-app-key";
constexpr std::size_t kHuge = 100 << 20;

class BackendMatrixTest : public ::testing::Test {
 protected:
  using Answer = std::function<void(httplib::Response&)>;

  BackendMatrixTest() {
    platform::AppContainer::setPath(container.path());
    backend.http().Post("/analytics/events",
                        [this](const httplib::Request&, httplib::Response& res) {
                          std::lock_guard lock(mutex);
                          hostile(res);
                        });
    backend.start();
    api = TiloApi::create(backend.url(""), kAppKey,
                          NetworkClient::create(platform::HttpClient::create()),
                          RetryPolicy{2, 2.0, 2.0});
  }
  ~BackendMatrixTest() override { platform::AppContainer::setPath(std::nullopt); }

  // The upload meets `answer`; returns the error it completed with.
  std::optional<SdkError> upload(const Answer& answer) {
    {
      std::lock_guard lock(mutex);
      hostile = answer;
    }
    std::optional<std::optional<SdkError>> error;
    api->sendEvents(R"({"events":[]})", [&](std::optional<SdkError> e) { error = std::move(e); });
    EXPECT_TRUE(env.runUntil([&] { return error.has_value(); }));
    return error.value_or(std::nullopt);
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
  std::mutex mutex;  // the server's threads read `hostile`
  Answer hostile;
  LoopbackHttpServer backend;
  std::shared_ptr<TiloApi> api;  // talks to `backend`, so it goes first
};

// Refused on their headers: a redirect to another host (not followed, so the app key never
// reaches it), a gzip body (never inflated) and a declared length over the cap (fails
// before the body is read); and a chunked body without a declared length, cut once past the
// cap.
TEST_F(BackendMatrixTest, RedirectGzipAndBodiesOverTheCapAreRefused) {
  std::atomic<std::size_t> written{0};
  std::atomic<int> finished{0};
  auto main = env.mainExecutor();
  const struct {
    const char* name;
    Answer answer;
    long code;
  } cases[] = {
      // Followed, it would fail to connect: nothing listens there.
      {"redirect",
       [](httplib::Response& res) { res.set_redirect("http://127.0.0.1:1/sdk/init", 307); }, 307},
      {"gzip",
       [](httplib::Response& res) {
         res.set_content(std::string("\x1f\x8b\x08\0", 4), "application/json");
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
      {"chunked 100 MB",
       [&](httplib::Response& res) {
         res.set_chunked_content_provider(
             "application/json",
             [&, chunk = std::string(64 << 10, ' ')](std::size_t, httplib::DataSink& sink) {
               if (written >= kHuge || !sink.write(chunk.data(), chunk.size())) {
                 if (written < kHuge) main->post([&] { ++finished; });
                 return false;
               }
               written += chunk.size();
               return true;
             });
       },
       platform::kUrlErrorDataLengthExceedsMaximum},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(errorCode(upload(c.answer)), c.code);
  }
  ASSERT_TRUE(env.runUntil([&] { return finished == 1; }));
  EXPECT_LT(written, std::size_t{24 << 20});
  // The client is sound after each: a good answer is a success again.
  EXPECT_FALSE(upload([](httplib::Response& res) { res.status = 201; }).has_value());
}

}  // namespace
}  // namespace tilo::test
