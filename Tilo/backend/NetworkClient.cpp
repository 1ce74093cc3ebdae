#include "Tilo/backend/NetworkClient.h"

#include <atomic>
#include <memory>

#include "Tilo/base/NetworkError.h"
#include "Tilo/base/TiloLogger.h"
#include "platform/Environment.h"

namespace tilo {
namespace {

std::atomic<int> inFlight{0};

// One request in flight, from its send until its answer is handled or dropped unhandled
// (a queue that goes with its executor, a shutdown): a count that outlived its request
// would have every wait for answers wait for nothing.
struct InFlight {
  InFlight() { ++inFlight; }
  ~InFlight() { --inFlight; }
  InFlight(const InFlight&) = delete;
  InFlight& operator=(const InFlight&) = delete;
};

Result<platform::HttpResponse> accept(platform::HttpResult result) {
  if (auto* error = std::get_if<platform::UrlError>(&result)) {
    return Result<platform::HttpResponse>::failure(TransportError(*error));
  }
  auto& response = std::get<platform::HttpResponse>(result);
  if (response.status >= 200 && response.status <= 299) return std::move(response);
  log("NetworkClient: Invalid response " + response.description(), TiloLogLevel::error);
  return Result<platform::HttpResponse>::failure(
      NetworkError::badResponse(static_cast<int>(response.status), "Invalid response"));
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
  auto counted = std::make_shared<InFlight>();
  session_->send(std::move(request), [completion = std::move(completion),
                                      counted](platform::HttpResult result) mutable {
    // Leave the HTTP worker at once; the count drops when the answer is handled.
    platform::postBackground(
        [completion, result = std::move(result), counted = std::move(counted)]() mutable {
          counted.reset();
          completion(accept(std::move(result)));
        });
  });
}

}  // namespace tilo
