// The platform's error value: a domain, a code within it and a readable description.
//
//   if (error.domain == kGADErrorDomain && error.code == GADErrorNoFill) ...
#pragma once

#include <string>

namespace tilo::mediation {

// URL-loading failures (codes such as -1009, not connected to the internet).
inline constexpr const char* kNSURLErrorDomain = "NSURLErrorDomain";
// Errors of the mediation platform itself.
inline constexpr const char* kGADErrorDomain = "com.google.admob";

// Codes of kGADErrorDomain that callers tell apart.
enum GADErrorCode : long {
  GADErrorInvalidRequest = 0,
  GADErrorNoFill = 1,
  GADErrorNetworkError = 2,
  GADErrorServerError = 3,
  GADErrorOSVersionTooLow = 4,
  GADErrorTimeout = 5,
  GADErrorMediationDataError = 7,
  GADErrorMediationAdapterError = 8,
  GADErrorInvalidAdSize = 10,
  GADErrorInternalError = 11,
  GADErrorInvalidArgument = 12,
  GADErrorAdAlreadyUsed = 19,
  GADErrorApplicationIdentifierMissing = 20,
  GADErrorReceivedInvalidAdString = 21,
};

struct NSError {
  std::string domain;
  long code = 0;
  std::string localizedDescription;

  bool operator==(const NSError&) const = default;
};

// Why a full-screen ad that stayed unshown past its expiry cannot be presented.
inline NSError GADAdExpiredError() {
  return NSError{kGADErrorDomain, GADErrorInternalError, "Ad has expired."};
}

}  // namespace tilo::mediation
