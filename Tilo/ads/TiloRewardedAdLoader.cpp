#include "Tilo/ads/TiloRewardedAdLoader.h"

#include "Tilo/backend/SharedService.h"
#include "Tilo/base/TiloConfiguration.h"
#include "mediation/GADRewardedAd.h"

namespace tilo {

template class TiloAdLoader<TiloRewardedAd>;

std::shared_ptr<TiloRewardedAdLoader> TiloRewardedAdLoader::create(TiloAdUnit unit) {
  return create(std::move(unit), sharedService());
}

std::shared_ptr<TiloRewardedAdLoader> TiloRewardedAdLoader::create(
    TiloAdUnit unit, std::shared_ptr<TiloServiceProtocol> service) {
  auto loader =
      std::make_shared<TiloRewardedAdLoader>(Passkey(), std::move(unit), std::move(service));
  loader->start();
  return loader;
}

TiloRewardedAdLoader::TiloRewardedAdLoader(Passkey, TiloAdUnit unit,
                                           std::shared_ptr<TiloServiceProtocol> service)
    : TiloAdLoader(
          std::move(unit),
          makeFullScreenItemLoad<TiloRewardedAd, mediation::GADRewardedAd>(
              TiloAdFormat::rewarded, service->config().apsSlotUUID(TiloAdFormat::rewarded)),
          service) {}

void TiloRewardedAdLoader::willStoreAd(const std::shared_ptr<TiloRewardedAd>& ad) {
  if (unit().placement) ad->setPlacement(*unit().placement);
}

}  // namespace tilo
