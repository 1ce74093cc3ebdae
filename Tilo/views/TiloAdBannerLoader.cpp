#include "Tilo/views/TiloAdBannerLoader.h"

#include "Tilo/networks/ErrorConversion.h"
#include "Tilo/telemetry/AdEventLogger.h"
#include "Tilo/telemetry/DiagnosticsRecorder.h"
#include "mediation/APSAdMobUtils.h"

namespace tilo {

std::shared_ptr<TiloAdBannerLoader> TiloAdBannerLoader::create(TiloAdUnitItem unit,
                                                               BannerApsSlots slots) {
  auto loader = std::make_shared<TiloAdBannerLoader>(std::move(unit), std::move(slots));
  loader->gadBannerView_->setDelegate(loader);
  return loader;
}

TiloAdBannerLoader::TiloAdBannerLoader(TiloAdUnitItem unit, BannerApsSlots slots)
    : unit_(std::move(unit)),
      gadBannerView_(mediation::GADBannerView::create()),
      slots_(std::move(slots)) {}

TiloAdInfo TiloAdBannerLoader::adInfo() const {
  const TiloAdFormat format =
      gadBannerView_->adSize().size.height == 50 ? TiloAdFormat::banner : TiloAdFormat::mrec;
  double seconds = 0;
  std::string network;
  if (const auto& response = gadBannerView_->responseInfo()) {
    for (const auto& entry : response->adNetworkInfoArray) seconds += entry.latency;
    if (response->loadedAdNetworkResponseInfo) {
      network = response->loadedAdNetworkResponseInfo->adSourceName.value_or("");
    }
  }
  return TiloAdInfo{format, unit_.tiloAdUnitId, seconds * 1000, std::move(network)};
}

void TiloAdBannerLoader::loadAd() {
  const TiloAdFormat format = adFormat(bannerSize_);
  logEvent(AdLogEventType::adRequest, TiloAdInfo{format, unit_.tiloAdUnitId, {}, {}});
  auto request = mediation::GADRequest::create();
  const auto& slot = bannerSize_ == TiloAdBannerSize::banner ? slots_.banner : slots_.mrec;
  if (slot) {
    const long apsFormat = bannerSize_ == TiloAdBannerSize::banner ? 0 : 1;
    if (auto extras = mediation::APSAdMobUtils::extrasWithSlotUUID(*slot, apsFormat)) {
      request->registerAdNetworkExtras(extras);
    }
  }
  gadBannerView_->loadRequest(request);
}

void TiloAdBannerLoader::bannerViewDidReceiveAd(mediation::GADBannerView& view) {
  std::weak_ptr<TiloAdBannerLoader> weak = weak_from_this();
  view.setPaidEventHandler([weak](const mediation::GADAdValue& value) {
    auto self = weak.lock();
    if (!self) return;
    const auto revenue = TiloRevenueInfo::fromPlatform(self->unit_.feeRate, value.value,
                                                       value.currencyCode, value.precision);
    DiagnosticsRecorder::shared().revenuePaid(self->unit_.tiloAdUnitId, revenue);
    if (auto closure = self->listener_->onAdInternalEvent) closure(self->adInfo(), revenue);
  });
  const TiloAdInfo info = adInfo();
  if (auto closure = listener_->onAdLoadSuccess) closure(nullptr, info);
  logEvent(AdLogEventType::adResponse, info);
}

void TiloAdBannerLoader::bannerViewDidFailToReceiveAdWithError(mediation::GADBannerView&,
                                                               const mediation::NSError& error) {
  const TiloError failure = toTiloError(error);
  const TiloAdInfo info = adInfo();
  if (auto closure = listener_->onAdLoadFail) closure(failure);
  logEvent(AdLogEventType::adResponseError, info, toAdResError(error));
}

void TiloAdBannerLoader::bannerViewDidRecordImpression(mediation::GADBannerView&) {
  const TiloAdInfo info = adInfo();
  if (auto closure = listener_->onAdImpression) closure(info);
  logEvent(AdLogEventType::adImpression, info);
}

void TiloAdBannerLoader::bannerViewDidRecordClick(mediation::GADBannerView&) {
  const TiloAdInfo info = adInfo();
  if (auto closure = listener_->onAdClicked) closure(info);
  logEvent(AdLogEventType::adClick, info);
}

}  // namespace tilo
