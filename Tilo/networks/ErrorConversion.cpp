#include "Tilo/networks/ErrorConversion.h"

namespace tilo {
namespace {

using Code = TiloError::Code;
using namespace mediation;

TiloError fromMediation(long code, const std::string& desc) {
  switch (code) {
    case GADErrorInvalidRequest:
      return {Code::invalidAdUnitIdentifier, desc};
    case GADErrorNoFill:
      // One full stop between the two sentences, whether or not the description ends
      // with its own ("No fill." would otherwise read "No fill.. If ...").
      return {Code::noFill,
              (desc.ends_with('.') ? desc : desc + ".") +
                  " If no fill persists, please verify app-ads.txt configuration at " +
                  kPublisherDashboardUrl};
    case GADErrorNetworkError:
      return {Code::networkError, desc};
    case GADErrorServerError:
      return {Code::networkError, "Ad server error: " + desc};
    case GADErrorOSVersionTooLow:
      return {Code::unspecified, "OS version too low: " + desc};
    case GADErrorTimeout:
      return {Code::networkTimeout, desc};
    case GADErrorMediationDataError:
    case GADErrorMediationAdapterError:
      return {Code::adLoadFailed, "Mediation error: " + desc};
    case GADErrorInvalidAdSize:
      return {Code::unspecified, "Invalid ad size: " + desc};
    case GADErrorInternalError:
      return {Code::unspecified, "Internal error: " + desc};
    case GADErrorInvalidArgument:
      return {Code::unspecified, "Invalid argument: " + desc};
    case GADErrorAdAlreadyUsed:
      return {Code::fullscreenAdAlreadyShowing, desc};
    case GADErrorApplicationIdentifierMissing:
      return {Code::initializationFailed, "Application identifier missing"};
    case GADErrorReceivedInvalidAdString:
      return {Code::unspecified, "Received invalid ad string: " + desc};
    default:
      return {Code::unspecified, desc};
  }
}

TiloError fromUrlLoading(long code, const std::string& desc) {
  if (code == -1009) return {Code::noNetwork, desc};
  if (code == -1001) return {Code::networkTimeout, desc};
  // Host lookup, connection and other transport failures alike, including the HTTP
  // client's refusals of a hostile answer: an encoded body (-1016) and a body or headers
  // over the size cap (-1103). Their descriptions name the refusal.
  return {Code::networkError, desc};
}

}  // namespace

TiloError toTiloError(const NSError& error) {
  if (error.domain == kGADErrorDomain) return fromMediation(error.code, error.localizedDescription);
  if (error.domain == kNSURLErrorDomain) {
    return fromUrlLoading(error.code, error.localizedDescription);
  }
  return {Code::unspecified, error.localizedDescription};
}

AdResError toAdResError(const NSError& error) {
  return {error.code, error.localizedDescription};
}

}  // namespace tilo
