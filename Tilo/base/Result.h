// Outcome of an asynchronous operation: a value or an error.
//
// Errors travel as std::exception_ptr so any error type (TiloError, NetworkError, a
// transport error, a decoding error) can pass through generic code unchanged, the way
// a thrown error would.
#pragma once

#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace tilo {

template <class T>
class Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit
  static Result failure(std::exception_ptr error) { return Result(std::move(error)); }

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }
  T& value() { return std::get<0>(state_); }
  const T& value() const { return std::get<0>(state_); }
  std::exception_ptr error() const { return ok() ? nullptr : std::get<1>(state_); }

 private:
  explicit Result(std::exception_ptr error) : state_(std::in_place_index<1>, std::move(error)) {}
  std::variant<T, std::exception_ptr> state_;
};

template <class T>
using Completion = std::function<void(Result<T>)>;

// The text a host would read for an error: TiloError's message, a decoding error's
// description, a transport error's localized description, else what().
std::string localizedDescription(const std::exception_ptr& error);

}  // namespace tilo
