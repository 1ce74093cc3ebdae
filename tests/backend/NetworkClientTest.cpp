#include <gtest/gtest.h>

#include "Tilo/backend/NetworkClient.h"
#include "Tilo/base/NetworkError.h"
#include "Tilo/base/TiloLogger.h"
#include "platform/TestEnvironment.h"
#include "support/LoopbackHttpServer.h"

namespace tilo {
namespace {

TEST(NetworkClientTest, AcceptsOnly2xxOverRealHttp) {
  platform::TestEnvironment env;
  test::LoopbackHttpServer server;
  server.http().Post("/created", [](const httplib::Request& request, httplib::Response& response) {
    response.status = 201;
    response.set_content(request.get_header_value("Tilo-App-Key"), "text/plain");
  });
  server.http().Get("/stale", [](const httplib::Request&, httplib::Response& response) {
    response.status = 304;
  });
  server.start();
  auto client = NetworkClient::create(platform::HttpClient::create());
  setCurrentLogLevel(TiloLogLevel::error);
  ScopedLogCapture logs;

  std::vector<Result<platform::HttpResponse>> results;
  auto record = [&](Result<platform::HttpResponse> result) {
    EXPECT_FALSE(platform::isMainThread());
    results.push_back(std::move(result));
  };
  auto send = [&](std::string method, std::string url) {
    platform::HttpRequest request;
    request.method = std::move(method);
    request.url = std::move(url);
    request.headers = {{"Tilo-App-Key", "k1"}};
    client->dataForRequest(request, record);
    return env.runUntil([&, n = results.size()] { return results.size() == n + 1; });
  };

  // 1. 201 is success, with the body.
  ASSERT_TRUE(send("POST", server.url("/created")));
  ASSERT_TRUE(results[0].ok());
  EXPECT_EQ(results[0].value().body, "k1");

  // 2. 304 is a bad response with its status, and an error line.
  ASSERT_TRUE(send("GET", server.url("/stale")));
  auto bad = std::get_if<NetworkError>(results[1].error());
  ASSERT_TRUE(bad);
  EXPECT_EQ(bad->kind(), NetworkError::Kind::badResponse);
  EXPECT_EQ(bad->statusCode(), 304);
  EXPECT_EQ(bad->text(), "Invalid response");
  EXPECT_EQ(logs.count("ERROR NetworkClient: Invalid response "), 1u);

  // 3. A refused connection is a transport error, passed through unchanged.
  ASSERT_TRUE(send("GET", "http://127.0.0.1:1/sdk/init"));
  auto transport = std::get_if<TransportError>(results[2].error());
  ASSERT_TRUE(transport);
  EXPECT_EQ(transport->urlError().code, platform::kUrlErrorCannotConnectToHost);
  EXPECT_EQ(localizedDescription(*results[2].error()), transport->urlError().localizedDescription);
  EXPECT_EQ(NetworkClient::requestsInFlight(), 0);
  setCurrentLogLevel(TiloLogLevel::off);
}

}  // namespace
}  // namespace tilo
