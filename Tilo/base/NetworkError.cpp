#include "Tilo/base/NetworkError.h"

namespace tilo {

NetworkError::NetworkError(Kind kind, int value, std::string text)
    : kind_(kind), value_(value), text_(std::move(text)) {
  description_ = kind_ == Kind::badResponse
                     ? "badResponse(" + std::to_string(value_) + ", \"" + text_ + "\")"
                     : "maxRetriesExceeded(" + std::to_string(value_) + ")";
}

NetworkError NetworkError::badResponse(int statusCode, std::string text) {
  return NetworkError(Kind::badResponse, statusCode, std::move(text));
}

NetworkError NetworkError::maxRetriesExceeded(int maxRetries) {
  return NetworkError(Kind::maxRetriesExceeded, maxRetries, {});
}

}  // namespace tilo
