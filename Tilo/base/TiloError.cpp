#include "Tilo/base/TiloError.h"

#include <array>
#include <utility>

namespace tilo {
namespace {

constexpr std::array<std::pair<TiloError::Code, const char*>, 14> kCases = {{
    {TiloError::Code::unspecified, "unspecified"},
    {TiloError::Code::notInitialized, "notInitialized"},
    {TiloError::Code::initializationFailed, "initializationFailed"},
    {TiloError::Code::noFill, "noFill"},
    {TiloError::Code::adLoadFailed, "adLoadFailed"},
    {TiloError::Code::invalidAdUnitIdentifier, "invalidAdUnitIdentifier"},
    {TiloError::Code::networkError, "networkError"},
    {TiloError::Code::networkTimeout, "networkTimeout"},
    {TiloError::Code::noNetwork, "noNetwork"},
    {TiloError::Code::fullscreenAdAlreadyShowing, "fullscreenAdAlreadyShowing"},
    {TiloError::Code::fullscreenAdNotReady, "fullscreenAdNotReady"},
    {TiloError::Code::fullscreenAdInvalidViewController, "fullscreenAdInvalidViewController"},
    {TiloError::Code::fullscreenAdAlreadyLoading, "fullscreenAdAlreadyLoading"},
    {TiloError::Code::fullscreenAdLoadWhileShowing, "fullscreenAdLoadWhileShowing"},
}};

}  // namespace

const TiloError& TiloError::appKeyRejected() {
  static const TiloError error(Code::initializationFailed,
                               "Initialization failed: the backend rejected the app key (HTTP "
                               "401); check \"TiloAppKey\" in Info.plist against the dashboard");
  return error;
}

const TiloError& TiloError::unspecified() {
  static const TiloError error(Code::unspecified, "Unspecified error");
  return error;
}

const TiloError& TiloError::initializationFailed() {
  static const TiloError error(Code::initializationFailed, "Initialization failed");
  return error;
}

std::optional<TiloError::Code> TiloError::codeFromRawValue(int raw) {
  for (const auto& [code, name] : kCases) {
    if (static_cast<int>(code) == raw) return code;
  }
  return std::nullopt;
}

const char* TiloError::caseName(Code code) {
  for (const auto& [candidate, name] : kCases) {
    if (candidate == code) return name;
  }
  return "unspecified";
}

std::string TiloError::debugDescription() const {
  return std::string(caseName(code_)) + ", " + message_;
}

}  // namespace tilo
