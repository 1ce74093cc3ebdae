#include <gtest/gtest.h>

#include "Tilo/backend/NetworkClient.h"
#include "Tilo/base/NetworkError.h"
#include "Tilo/base/TiloLogger.h"
#include "platform/TestEnvironment.h"
#include "support/LoopbackHttpServer.h"

namespace tilo {
namespace {

// (201 accepted, other statuses and transport errors as errors: BackendMatrixTest and the
// uploads the devserver answers.) A refused answer says why, off the main thread.
TEST(NetworkClientTest, ARefusedAnswerIsABadResponseHandledOffMain) {
  platform::TestEnvironment env;
  test::LoopbackHttpServer server;
  server.http().Get("/stale", [](const httplib::Request&, httplib::Response& response) {
    response.status = 304;
  });
  server.start();
  setCurrentLogLevel(TiloLogLevel::error);
  ScopedLogCapture logs;
  std::optional<Result<platform::HttpResponse>> result;
  platform::HttpRequest request;
  request.url = server.url("/stale");
  auto client = NetworkClient::create(platform::HttpClient::create());
  client->dataForRequest(request, [&](Result<platform::HttpResponse> answer) {
    EXPECT_FALSE(platform::isMainThread());
    result.emplace(std::move(answer));
  });
  ASSERT_TRUE(env.runUntil([&] { return result.has_value(); }));
  auto bad = std::get_if<NetworkError>(result->error());
  ASSERT_TRUE(bad);
  EXPECT_EQ(std::pair(bad->statusCode(), bad->text()),
            std::pair(304, std::string("Invalid response")));
  EXPECT_EQ(logs.count("ERROR NetworkClient: Invalid response "), 1u);
  EXPECT_EQ(NetworkClient::requestsInFlight(), 0);
  setCurrentLogLevel(TiloLogLevel::off);
}

}  // namespace
}  // namespace tilo
