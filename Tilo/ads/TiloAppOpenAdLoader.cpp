#include "Tilo/ads/TiloAppOpenAdLoader.h"

#include "Tilo/backend/SharedService.h"
#include "Tilo/base/TiloConfiguration.h"
#include "mediation/GADAppOpenAd.h"

namespace tilo {

template class TiloAdLoader<TiloAppOpenAd>;

std::shared_ptr<TiloAppOpenAdLoader> TiloAppOpenAdLoader::create(TiloAdUnit unit) {
  return create(std::move(unit), sharedService());
}

std::shared_ptr<TiloAppOpenAdLoader> TiloAppOpenAdLoader::create(
    TiloAdUnit unit, std::shared_ptr<TiloServiceProtocol> service) {
  auto loader =
      std::make_shared<TiloAppOpenAdLoader>(Passkey(), std::move(unit), std::move(service));
  loader->start();
  return loader;
}

TiloAppOpenAdLoader::TiloAppOpenAdLoader(Passkey, TiloAdUnit unit,
                                         std::shared_ptr<TiloServiceProtocol> service)
    : TiloAdLoader(std::move(unit),
                   makeFullScreenItemLoad<TiloAppOpenAd, mediation::GADAppOpenAd>(
                       TiloAdFormat::appOpen, service->config().apsSlotUUID(TiloAdFormat::appOpen)),
                   service) {}

}  // namespace tilo
