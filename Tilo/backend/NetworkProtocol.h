// One HTTP exchange. The real implementation is NetworkClient; tests use fakes.
#pragma once

#include "Tilo/base/Result.h"
#include "platform/HttpClient.h"

namespace tilo {

class NetworkProtocol {
 public:
  virtual ~NetworkProtocol() = default;
  // Completes once, on a background thread: the 2xx answer, or the error (a
  // platform::UrlError for transport failures, NetworkError::badResponse otherwise).
  virtual void dataForRequest(platform::HttpRequest request,
                              Completion<platform::HttpResponse> completion) = 0;
};

}  // namespace tilo
