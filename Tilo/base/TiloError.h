// The one error type that reaches the host.
//
//   loader->listener->onAdLoadFail = [](const TiloError& error) {
//     if (error.code() == TiloError::Code::noFill) { ... }
//   };
#pragma once

#include <optional>
#include <string>

#include "Tilo/base/TiloExport.h"

namespace tilo {

class TILO_EXPORT TiloError {
 public:
  enum class Code : int {
    unspecified = -1,
    notInitialized = -2,
    initializationFailed = -3,
    noFill = 204,
    adLoadFailed = -5001,
    invalidAdUnitIdentifier = -5603,
    networkError = -1000,
    networkTimeout = -1001,
    noNetwork = -1009,
    fullscreenAdAlreadyShowing = -23,
    fullscreenAdNotReady = -24,
    fullscreenAdInvalidViewController = -25,
    fullscreenAdAlreadyLoading = -26,
    fullscreenAdLoadWhileShowing = -27,
  };

  TiloError(Code code, std::string message) : code_(code), message_(std::move(message)) {}

  // "Unspecified error" and "Initialization failed".
  static const TiloError& unspecified();
  static const TiloError& initializationFailed();
  // initializationFailed with what to do: the backend answered 401 to the app key.
  static const TiloError& appKeyRejected();
  // Accepts exactly the fourteen raw values above.
  static std::optional<Code> codeFromRawValue(int raw);
  static const char* caseName(Code code);

  Code code() const { return code_; }
  const std::string& message() const { return message_; }
  int mediatedNetworkErrorCode = 0;
  std::string mediatedNetworkErrorMessage;
  double requestLatency = 0;

  // Case name, ", ", message: "initializationFailed, Initialization failed".
  std::string debugDescription() const;
  // Equality compares codes, as the raw values do.
  bool operator==(const TiloError& other) const { return code_ == other.code_; }

 private:
  Code code_;
  std::string message_;
};

}  // namespace tilo
