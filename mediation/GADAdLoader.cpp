#include "mediation/GADAdLoader.h"

#include "mediation/AdSource.h"
#include "mediation/demand/Demand.h"

namespace tilo::mediation {

std::shared_ptr<GADAdLoader> GADAdLoader::create(
    std::string adUnitId, const std::shared_ptr<platform::UIViewController>& rootViewController,
    std::vector<GADAdLoaderAdType> adTypes,
    std::vector<std::shared_ptr<GADAdLoaderOptions>> options) {
  return std::make_shared<GADAdLoader>(std::move(adUnitId), rootViewController, std::move(adTypes),
                                       std::move(options));
}

GADAdLoader::GADAdLoader(std::string adUnitId,
                         const std::shared_ptr<platform::UIViewController>& rootViewController,
                         std::vector<GADAdLoaderAdType> adTypes,
                         std::vector<std::shared_ptr<GADAdLoaderOptions>> options)
    : adUnitId_(std::move(adUnitId)),
      rootViewController_(rootViewController),
      adTypes_(std::move(adTypes)),
      options_(std::move(options)) {}

void GADAdLoader::loadRequest(const std::shared_ptr<GADRequest>& request) {
  ++pending_;
  std::weak_ptr<GADAdLoader> weak = weak_from_this();
  demand::Demand::load(demand::DemandRequest{"native", adUnitId_, request, std::nullopt},
                       [weak](const AdScript& script) {
                         if (auto self = weak.lock()) self->deliver(script);
                       });
}

void GADAdLoader::deliver(const AdScript& script) {
  --pending_;
  auto self = shared_from_this();  // the delegate may release this loader
  auto delegate = delegate_.lock();
  if (!delegate) return;
  if (script.fill) {
    delegate->adLoaderDidReceiveNativeAd(*this, std::make_shared<GADNativeAd>(script));
  } else {
    delegate->adLoaderDidFailToReceiveAdWithError(*this, script.error);
  }
  delegate->adLoaderDidFinishLoading(*this);
}

}  // namespace tilo::mediation
