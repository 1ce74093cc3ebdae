#include "Tilo/backend/NetworkClient.h"

#include <atomic>

#include "Tilo/base/NetworkError.h"
#include "Tilo/base/TiloLogger.h"
#include "platform/Environment.h"

namespace tilo {
namespace {

std::atomic<int> inFlight{0};

Result<platform::HttpResponse> accept(platform::HttpResult result) {
  if (auto* error = std::get_if<platform::UrlError>(&result)) {
    return Result<platform::HttpResponse>::failure(std::make_exception_ptr(TransportError(*error)));
  }
  auto& response = std::get<platform::HttpResponse>(result);
  if (response.status >= 200 && response.status <= 299) return std::move(response);
  log("NetworkClient: Invalid response " + response.description(), TiloLogLevel::error);
  return Result<platform::HttpResponse>::failure(std::make_exception_ptr(
      NetworkError::badResponse(static_cast<int>(response.status), "Invalid response")));
}

}  // namespace

std::shared_ptr<NetworkClient> NetworkClient::create(
    std::shared_ptr<platform::HttpClient> session) {
  return std::make_shared<NetworkClient>(std::move(session));
}

int NetworkClient::requestsInFlight() {
  return inFlight.load();
}

void NetworkClient::dataForRequest(platform::HttpRequest request,
                                   Completion<platform::HttpResponse> completion) {
  ++inFlight;
  session_->send(std::move(request),
                 [completion = std::move(completion)](platform::HttpResult result) {
                   // Leave the HTTP worker at once; the counter drops only when the answer is
                   // handled.
                   platform::postBackground([completion, result = std::move(result)]() mutable {
                     --inFlight;
                     completion(accept(std::move(result)));
                   });
                 });
}

}  // namespace tilo
