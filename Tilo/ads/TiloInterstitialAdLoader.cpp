#include "Tilo/ads/TiloInterstitialAdLoader.h"

#include "Tilo/backend/SharedService.h"
#include "Tilo/base/TiloConfiguration.h"
#include "mediation/GADInterstitialAd.h"

namespace tilo {

template class TiloAdLoader<TiloInterstitialAd>;

std::shared_ptr<TiloInterstitialAdLoader> TiloInterstitialAdLoader::create(TiloAdUnit unit) {
  return create(std::move(unit), sharedService());
}

std::shared_ptr<TiloInterstitialAdLoader> TiloInterstitialAdLoader::create(
    TiloAdUnit unit, std::shared_ptr<TiloServiceProtocol> service) {
  auto loader =
      std::make_shared<TiloInterstitialAdLoader>(Passkey(), std::move(unit), std::move(service));
  loader->start();
  return loader;
}

TiloInterstitialAdLoader::TiloInterstitialAdLoader(Passkey, TiloAdUnit unit,
                                                   std::shared_ptr<TiloServiceProtocol> service)
    : TiloAdLoader(std::move(unit),
                   makeFullScreenItemLoad<TiloInterstitialAd, mediation::GADInterstitialAd>(
                       TiloAdFormat::interstitial,
                       service->config().apsSlotUUID(TiloAdFormat::interstitial)),
                   service) {}

}  // namespace tilo
