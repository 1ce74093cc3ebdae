// Performs one backend request over the platform HTTP client and accepts only 2xx.
//
//   client->dataForRequest(request, [](Result<platform::HttpResponse> result) { ... });
//
// The completion runs once, as a background task of the current environment (never on
// the HTTP worker thread), so mock-time tests drive it like any other task.
#pragma once

#include <memory>

#include "Tilo/backend/NetworkProtocol.h"
#include "platform/HttpClient.h"

namespace tilo {

class NetworkClient final : public NetworkProtocol {
 public:
  static std::shared_ptr<NetworkClient> create(
      std::shared_ptr<platform::HttpClient> session = platform::HttpClient::shared());

  // Transport failures arrive as TransportError; other answers than 2xx log
  // "NetworkClient: Invalid response <answer>" and arrive as NetworkError::badResponse.
  void dataForRequest(platform::HttpRequest request,
                      Completion<platform::HttpResponse> completion) override;

  // Requests whose completion has not run yet, over every client: lets tests tell a
  // pending answer apart from an idle SDK before they fast-forward the clock.
  static int requestsInFlight();

  explicit NetworkClient(std::shared_ptr<platform::HttpClient> session)
      : session_(std::move(session)) {}

 private:
  std::shared_ptr<platform::HttpClient> session_;
};

}  // namespace tilo
