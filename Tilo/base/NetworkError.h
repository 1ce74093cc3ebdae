// Errors of the backend client, thrown (as std::exception_ptr) through Result.
//
//   if (auto e = catchAs<NetworkError>(result.error()); e && e->kind() ==
//   NetworkError::Kind::badResponse)
#pragma once

#include <exception>
#include <optional>
#include <string>

#include "platform/HttpClient.h"

namespace tilo {

class NetworkError : public std::exception {
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
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  NetworkError(Kind kind, int value, std::string text);
  Kind kind_;
  int value_;
  std::string text_;
  std::string description_;
};

// A URL-loading failure (no connection, timeout, cancelled), carried unchanged.
class TransportError : public std::exception {
 public:
  explicit TransportError(platform::UrlError error) : error_(std::move(error)) {}
  const platform::UrlError& urlError() const { return error_; }
  const char* what() const noexcept override { return error_.localizedDescription.c_str(); }

 private:
  platform::UrlError error_;
};

// A copy of the error inside `error` when it is an E.
template <class E>
std::optional<E> catchAs(const std::exception_ptr& error) {
  if (!error) return std::nullopt;
  try {
    std::rethrow_exception(error);
  } catch (const E& e) {
    return e;
  } catch (...) {
  }
  return std::nullopt;
}

}  // namespace tilo
