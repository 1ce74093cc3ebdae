#include "Tilo/hostdrawn/TiloHostDrawnNativeAdLoader.h"

#include <algorithm>

#include "Tilo/backend/SharedService.h"
#include "Tilo/base/MainThreadCheck.h"
#include "Tilo/telemetry/AdCallbackMarker.h"
#include "Tilo/telemetry/AdLoadTracker.h"
#include "Tilo/views/NativeAdReporting.h"
#include "Tilo/views/TiloAdNativeLoader.h"
#include "platform/Environment.h"

namespace tilo {

std::shared_ptr<TiloHostDrawnNativeAdLoader> TiloHostDrawnNativeAdLoader::create(TiloAdUnit unit) {
  return create(std::move(unit), sharedService());
}

std::shared_ptr<TiloHostDrawnNativeAdLoader> TiloHostDrawnNativeAdLoader::create(
    TiloAdUnit unit, std::shared_ptr<TiloServiceProtocol> service) {
  return std::make_shared<TiloHostDrawnNativeAdLoader>(std::move(unit), std::move(service));
}

TiloHostDrawnNativeAdLoader::TiloHostDrawnNativeAdLoader(
    TiloAdUnit unit, std::shared_ptr<TiloServiceProtocol> service)
    : unit_(std::move(unit)),
      listener_(TiloAdListener<TiloHostDrawnNativeAd>::create()),
      synchronizer_(Synchronizer::create(
          [](const TiloAdUnitItem& item, Completion<std::shared_ptr<AdNativeLoadable>> done) {
            platform::postToMain([item, done] {
              done(std::shared_ptr<AdNativeLoadable>(TiloAdNativeLoader::create(item)));
            });
          },
          std::move(service))) {}

TiloHostDrawnNativeAdLoader::~TiloHostDrawnNativeAdLoader() {
  if (!loading_.empty()) completeAdLoad(unit_.unitId);
}

void TiloHostDrawnNativeAdLoader::loadAd() {
  requireMainThread();
  std::weak_ptr<TiloHostDrawnNativeAdLoader> weak = weak_from_this();
  auto resolved = TiloAdListener<AdNativeLoadable>::create();
  resolved->onAdLoadSuccess = [weak](std::shared_ptr<AdNativeLoadable> loader,
                                     std::optional<TiloAdInfo>) {
    if (auto self = weak.lock(); self && loader) self->loaderReady(loader);
  };
  resolved->onAdLoadFail = [weak](const TiloError& error) {
    if (auto self = weak.lock()) self->failed(error);
  };
  synchronizer_->syncAndLoad(unit_.unitId, resolved);
}

void TiloHostDrawnNativeAdLoader::loaderReady(const std::shared_ptr<AdNativeLoadable>& loader) {
  std::weak_ptr<TiloHostDrawnNativeAdLoader> weak = weak_from_this();
  const auto& events = loader->listener();
  events->onAdClicked = [weak](std::optional<TiloAdInfo> info) {
    if (auto self = weak.lock())
      reportNativeClick(self->unit_.unitId, info, self->listener_->onAdClicked);
  };
  events->onAdImpression = [weak](std::optional<TiloAdInfo> info) {
    if (auto self = weak.lock())
      reportNativeImpression(self->unit_.unitId, info, self->listener_->onAdImpression);
  };
  auto toPlugin = pluginEventForwarder(weak);
  events->onAdInternalEvent = [weak, toPlugin](std::optional<TiloAdInfo> info,
                                               const TiloRevenueInfo& revenue) {
    toPlugin(info, revenue);
    auto self = weak.lock();
    if (!self) return;
    if (auto closure = self->listener_->onAdInternalEvent) closure(info, revenue);
  };
  loading_.push_back(loader);
  runTrackedNativeLoad(
      unit_.unitId, loader,
      [weak](std::shared_ptr<AdNativeLoadable> loader, std::optional<Result<TiloAdNative>> result) {
        if (auto self = weak.lock()) self->loadEnded(loader, std::move(result));
      });
}

void TiloHostDrawnNativeAdLoader::loadEnded(const std::shared_ptr<AdNativeLoadable>& loader,
                                            std::optional<Result<TiloAdNative>> result) {
  auto self = shared_from_this();  // the host may release the loader in its callback
  std::erase(loading_, loader);
  if (!loader || !result) return;
  if (!*result) return failed(asTiloError(*result->error()));
  auto ad = std::make_shared<TiloHostDrawnNativeAd>(std::move(result->value()), loader);
  const TiloAdNative& native = ad->native();
  const TiloAdInfo info{TiloAdFormat::native, native.unitId, native.latency, std::nullopt};
  withAdCallbackMarker("onAdLoadSuccess", info, [&] {
    if (auto closure = listener_->onAdLoadSuccess) closure(ad, info);
  });
}

void TiloHostDrawnNativeAdLoader::failed(const TiloError& error) {
  withAdCallbackMarker("onAdLoadFail", std::nullopt, [&] {
    if (auto closure = listener_->onAdLoadFail) closure(error);
  });
}

}  // namespace tilo
