// Errors of the backend client, carried as values through Result.
//
//   if (auto* e = std::get_if<NetworkError>(result.error());
//       e && e->kind() == NetworkError::Kind::badResponse)
#pragma once

#include <string>

#include "platform/HttpClient.h"

namespace tilo {

class NetworkError {
 public:
  enum class Kind {
    badResponse,         // not HTTP, or a status outside 200-299 (statusCode -1 when not HTTP)
    maxRetriesExceeded,  // the retry loop gave up; maxRetries() is the policy's count
  };

  static NetworkError badResponse(int statusCode, std::string text);
  static NetworkError maxRetriesExceeded(int maxRetries);

  Kind kind() const { return kind_; }
  int statusCode() const { return value_; }
  int maxRetries() const { return value_; }
  const std::string& text() const { return text_; }
  // "badResponse(500, \"Invalid response\")" or "maxRetriesExceeded(3)".
  const std::string& description() const { return description_; }

 private:
  NetworkError(Kind kind, int value, std::string text);
  Kind kind_;
  int value_;
  std::string text_;
  std::string description_;
};

// A URL-loading failure (no connection, timeout, cancelled), carried unchanged.
class TransportError {
 public:
  explicit TransportError(platform::UrlError error) : error_(std::move(error)) {}
  const platform::UrlError& urlError() const { return error_; }

 private:
  platform::UrlError error_;
};

}  // namespace tilo
