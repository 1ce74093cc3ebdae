// Loads interstitial ads for one ad unit and delivers them as TiloInterstitialAd.
//
//   auto loader = TiloInterstitialAdLoader::create(TiloAdUnit{"my-unit"});
//   loader->listener()->onAdLoadSuccess = [](std::shared_ptr<TiloInterstitialAd> ad, auto info) {
//   ... }; loader->load();
#pragma once

#include <memory>

#include "Tilo/ads/TiloAdLoader.h"
#include "Tilo/ads/TiloInterstitialAd.h"
#include "Tilo/base/TiloExport.h"

namespace tilo {

extern template class TiloAdLoader<TiloInterstitialAd>;

class TILO_EXPORT TiloInterstitialAdLoader final : public TiloAdLoader<TiloInterstitialAd> {
 public:
  // Resolves the unit through the shared SDK (TiloAds::shared()).
  static std::shared_ptr<TiloInterstitialAdLoader> create(TiloAdUnit unit);
  static std::shared_ptr<TiloInterstitialAdLoader> create(
      TiloAdUnit unit, std::shared_ptr<TiloServiceProtocol> service);

  // For create() only: the passkey keeps hosts from skipping the factory's wiring.
  class Passkey {
    friend class TiloInterstitialAdLoader;
    explicit Passkey() = default;
  };
  TiloInterstitialAdLoader(Passkey, TiloAdUnit unit, std::shared_ptr<TiloServiceProtocol> service);
};

}  // namespace tilo
