#include "Tilo/base/Result.h"

namespace tilo {

std::string localizedDescription(const SdkError& error) {
  if (auto* tilo = std::get_if<TiloError>(&error)) return tilo->message();
  if (auto* transport = std::get_if<TransportError>(&error)) {
    return transport->urlError().localizedDescription;
  }
  return std::get<NetworkError>(error).description();
}

const TiloError& asTiloError(const SdkError& error) {
  if (auto* tilo = std::get_if<TiloError>(&error)) return *tilo;
  return TiloError::unspecified();
}

}  // namespace tilo
