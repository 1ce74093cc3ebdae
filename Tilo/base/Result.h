// Outcome of an operation: a value or an error value.
//
//   api->fetchAppInfo([](Result<TiloAppInfo> result) {
//     if (result) use(result.value());
//     else if (auto* e = std::get_if<NetworkError>(result.error())) retryLater(e->statusCode());
//   });
//
// The error is a value of a closed set (SdkError, below, unless a caller names another), so a
// caller looks at what failed instead of rethrowing it to find out.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <variant>

#include "Tilo/base/NetworkError.h"
#include "Tilo/base/TiloError.h"

namespace tilo {

// What an SDK operation reports: the host's own error, the backend's answer, or the
// transport's failure, each carried unchanged.
using SdkError = std::variant<TiloError, NetworkError, TransportError>;

template <class T, class E = SdkError>
class Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit
  static Result failure(E error) { return Result(std::in_place_index<1>, std::move(error)); }

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }
  T& value() { return std::get<0>(state_); }
  const T& value() const { return std::get<0>(state_); }
  // The error, or null for a value: std::get_if<NetworkError>(result.error()) is null for both.
  const E* error() const { return std::get_if<1>(&state_); }

 private:
  template <std::size_t I, class V>
  Result(std::in_place_index_t<I> index, V&& v) : state_(index, std::forward<V>(v)) {}
  std::variant<T, E> state_;
};

template <class T>
using Completion = std::function<void(Result<T>)>;

// The text a host would read for an error: TiloError's message, the transport's localized
// description, the backend error's summary ("badResponse(500, \"Invalid response\")").
std::string localizedDescription(const SdkError& error);

// The error as the host sees it: a TiloError unchanged, anything else unspecified.
const TiloError& asTiloError(const SdkError& error);

}  // namespace tilo
