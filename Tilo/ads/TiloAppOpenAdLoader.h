// Loads app-open ads for one ad unit and delivers them as TiloAppOpenAd.
//
//   auto loader = TiloAppOpenAdLoader::create(TiloAdUnit{"my-unit"});
//   loader->listener()->onAdLoadSuccess = [](std::shared_ptr<TiloAppOpenAd> ad, auto info) { ... };
//   loader->load();
#pragma once

#include <memory>

#include "Tilo/ads/TiloAdLoader.h"
#include "Tilo/ads/TiloAppOpenAd.h"
#include "Tilo/base/TiloExport.h"

namespace tilo {

extern template class TiloAdLoader<TiloAppOpenAd>;

class TILO_EXPORT TiloAppOpenAdLoader final : public TiloAdLoader<TiloAppOpenAd> {
 public:
  // Resolves the unit through the shared SDK (TiloAds::shared()).
  static std::shared_ptr<TiloAppOpenAdLoader> create(TiloAdUnit unit);
  static std::shared_ptr<TiloAppOpenAdLoader> create(TiloAdUnit unit,
                                                     std::shared_ptr<TiloServiceProtocol> service);

  // For create() only: the passkey keeps hosts from skipping the factory's wiring.
  class Passkey {
    friend class TiloAppOpenAdLoader;
    explicit Passkey() = default;
  };
  TiloAppOpenAdLoader(Passkey, TiloAdUnit unit, std::shared_ptr<TiloServiceProtocol> service);
};

}  // namespace tilo
