#include "Tilo/views/TiloAdNativeLoader.h"

#include "Tilo/networks/ErrorConversion.h"
#include "Tilo/telemetry/AdEventLogger.h"
#include "Tilo/telemetry/DiagnosticsRecorder.h"
#include "platform/Environment.h"

namespace tilo {

namespace {

// A waiting load resumes as a main-thread task of its own, after the callback that
// decided it has finished (and logged its event).
void resume(Completion<TiloAdNative> completion, Result<TiloAdNative> result) {
  platform::postToMain([completion = std::move(completion), result = std::move(result)]() mutable {
    completion(std::move(result));
  });
}

std::shared_ptr<mediation::GADAdLoader> makeAdLoader(const TiloAdUnitItem& unit) {
  auto options = std::make_shared<mediation::GADNativeAdViewAdOptions>();
  options->preferredAdChoicesPosition = mediation::GADAdChoicesPosition::bottomRightCorner;
  return mediation::GADAdLoader::create(unit.mediationAdUnitId, nullptr,
                                        {mediation::GADAdLoaderAdType::native}, {options});
}

}  // namespace

std::shared_ptr<TiloAdNativeLoader> TiloAdNativeLoader::create(TiloAdUnitItem unit) {
  auto loader = std::make_shared<TiloAdNativeLoader>(std::move(unit));
  loader->adLoader_->setDelegate(std::weak_ptr<mediation::GADAdLoaderDelegate>(loader));
  return loader;
}

TiloAdNativeLoader::TiloAdNativeLoader(TiloAdUnitItem unit)
    : unit_(std::move(unit)), adLoader_(makeAdLoader(unit_)) {}

TiloAdInfo TiloAdNativeLoader::adInfo(const mediation::GADNativeAd* ad) const {
  TiloAdInfo info{TiloAdFormat::native, unit_.tiloAdUnitId, std::nullopt, std::nullopt};
  if (!ad) return info;
  double seconds = 0;
  for (const auto& entry : ad->responseInfo().adNetworkInfoArray) seconds += entry.latency;
  info.latency = seconds * 1000;
  const auto& loaded = ad->responseInfo().loadedAdNetworkResponseInfo;
  info.adNetwork = loaded ? loaded->adSourceName.value_or("") : "";
  return info;
}

void TiloAdNativeLoader::loadAd(Completion<TiloAdNative> completion) {
  if (auto replaced = std::exchange(continuation_, std::move(completion))) {
    resume(std::move(replaced),
           Result<TiloAdNative>::failure(
               TiloError(TiloError::Code::fullscreenAdAlreadyLoading, "Replaced by a newer load")));
  }
  logEvent(AdLogEventType::adRequest, adInfo(nullptr));
  adLoader_->loadRequest(mediation::GADRequest::create());
}

void TiloAdNativeLoader::adLoaderDidReceiveNativeAd(mediation::GADAdLoader&,
                                                    std::shared_ptr<mediation::GADNativeAd> ad) {
  nativeAd_ = ad;
  ad->setDelegate(std::weak_ptr<mediation::GADNativeAdDelegate>(shared_from_this()));
  std::weak_ptr<TiloAdNativeLoader> weak = weak_from_this();
  std::weak_ptr<mediation::GADNativeAd> weakAd = ad;
  ad->setPaidEventHandler([weak, weakAd](const mediation::GADAdValue& value) {
    auto self = weak.lock();
    auto paid = weakAd.lock();
    if (!self || !paid) return;
    const auto revenue = TiloRevenueInfo::fromPlatform(self->unit_.feeRate, value.value,
                                                       value.currencyCode, value.precision);
    DiagnosticsRecorder::shared().revenuePaid(self->unit_.tiloAdUnitId, revenue);
    if (auto closure = self->listener_->onAdInternalEvent)
      closure(self->adInfo(paid.get()), revenue);
  });
  const TiloAdInfo info = adInfo(ad.get());
  if (auto waiting = std::exchange(continuation_, nullptr)) {
    TiloAdNative native;
    native.unitId = unit_.tiloAdUnitId;
    native.title = ad->headline();
    native.advertiser = ad->advertiser();
    native.body = ad->body();
    if (ad->icon()) native.icon = ad->icon()->image;
    if (ad->mediaContent()) native.mediaContent = ad->mediaContent();
    native.callToAction = ad->callToAction();
    native.origin = ad;
    native.latency = info.latency;
    native.network = info.adNetwork;
    resume(std::move(waiting), std::move(native));
  }
  logEvent(AdLogEventType::adResponse, info);
}

void TiloAdNativeLoader::adLoaderDidFailToReceiveAdWithError(mediation::GADAdLoader&,
                                                             const mediation::NSError& error) {
  const TiloError failure = toTiloError(error);
  if (auto waiting = std::exchange(continuation_, nullptr)) {
    resume(std::move(waiting), Result<TiloAdNative>::failure(failure));
  }
  logEvent(AdLogEventType::adResponseError, adInfo(nullptr), toAdResError(error));
}

void TiloAdNativeLoader::nativeAdDidRecordImpression(mediation::GADNativeAd& ad) {
  const TiloAdInfo info = adInfo(&ad);
  if (auto closure = listener_->onAdImpression) closure(info);
  logEvent(AdLogEventType::adImpression, info);
}

void TiloAdNativeLoader::nativeAdDidRecordClick(mediation::GADNativeAd& ad) {
  const TiloAdInfo info = adInfo(&ad);
  if (auto closure = listener_->onAdClicked) closure(info);
  logEvent(AdLogEventType::adClick, info);
}

}  // namespace tilo
