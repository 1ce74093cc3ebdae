// Loads rewarded ads for one ad unit and delivers them as TiloRewardedAd.
//
//   auto loader = TiloRewardedAdLoader::create(TiloAdUnit{"my-unit"});
//   loader->listener()->onAdLoadSuccess = [](std::shared_ptr<TiloRewardedAd> ad, auto info) { ...
//   }; loader->load();
#pragma once

#include <memory>

#include "Tilo/ads/TiloAdLoader.h"
#include "Tilo/ads/TiloRewardedAd.h"
#include "Tilo/base/TiloExport.h"

namespace tilo {

extern template class TiloAdLoader<TiloRewardedAd>;

class TILO_EXPORT TiloRewardedAdLoader final : public TiloAdLoader<TiloRewardedAd> {
 public:
  // Resolves the unit through the shared SDK (TiloAds::shared()).
  static std::shared_ptr<TiloRewardedAdLoader> create(TiloAdUnit unit);
  static std::shared_ptr<TiloRewardedAdLoader> create(TiloAdUnit unit,
                                                      std::shared_ptr<TiloServiceProtocol> service);

  // For create() only: the passkey keeps hosts from skipping the factory's wiring.
  class Passkey {
    friend class TiloRewardedAdLoader;
    explicit Passkey() = default;
  };
  TiloRewardedAdLoader(Passkey, TiloAdUnit unit, std::shared_ptr<TiloServiceProtocol> service);

 private:
  // Hands the unit's placement to the ad.
  void willStoreAd(const std::shared_ptr<TiloRewardedAd>& ad) override;
};

}  // namespace tilo
