// The SDK-wide service and user id for ad objects made without a service of their own
// (the one-argument create() of every loader and view).
//
//   auto loader = TiloInterstitialAdLoader::create(unit, sharedService());
//
// Both belong to TiloAds, at the top of the SDK, which defines these two functions; they
// build the SDK on first use exactly as TiloAds::shared() does. Declaring them here lets
// the layers between reach the singleton without including the layer above them.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Tilo/backend/TiloServiceProtocol.h"

namespace tilo {

std::shared_ptr<TiloServiceProtocol> sharedService();
// The user id the host set on TiloAds, read at the moment of the call.
std::optional<std::string> sharedUserId();

}  // namespace tilo
