#include "Tilo/ads/TiloAdPresenter.h"

#include "Tilo/core/TiloLogger.h"
#include "Tilo/networks/ErrorConversion.h"
#include "Tilo/telemetry/AdEventLogger.h"
#include "Tilo/telemetry/CrashMarkers.h"

namespace tilo {
namespace {

// Brackets one call into the host's display listener with the ad-callback marker; the
// marker is written and removed even when the host set no closure.
template <class Call>
void withCallbackMarker(const char* phase, const TiloAdInfo& info, Call&& call) {
  markAdCallback(phase, info);
  call();
  clearMarker(CrashMarkerCheckpoint::adCallback);
}

// A copy of the listener's closure: the host may replace it while it runs.
template <class Listener, class Closure>
Closure closureOf(const std::shared_ptr<Listener>& listener, Closure TiloDisplayListener::*field) {
  return listener ? (*listener).*field : Closure();
}

}  // namespace

TiloAdInfo makeAdInfo(TiloAdFormat format, const std::string& adUnitId,
                      const mediation::GADResponseInfo& responseInfo) {
  double seconds = 0;
  for (const auto& entry : responseInfo.adNetworkInfoArray) seconds += entry.latency;
  std::string network;
  if (const auto& loaded = responseInfo.loadedAdNetworkResponseInfo) {
    network = loaded->adSourceName.value_or("");
  }
  return TiloAdInfo{format, adUnitId, seconds * 1000, std::move(network)};
}

TiloAdPresenterBase::TiloAdPresenterBase(std::unique_ptr<AdMobAdProtocol> adMobAd,
                                         TiloAdUnitItem unit, TiloAdFormat format)
    : unit_(std::move(unit)), adFormat_(format), adMobAd_(std::move(adMobAd)) {
  const TiloAdInfo info = adInfo();
  network_ = info.adNetwork;
  latency_ = info.latency;
}

void TiloAdPresenterBase::attach() {
  std::weak_ptr<TiloAdPresenterBase> weak = weak_from_this();
  adMobAd_->setFullScreenContentDelegate(
      std::shared_ptr<mediation::GADFullScreenContentDelegate>(shared_from_this()));
  adMobAd_->setPaidEventHandler([weak](const mediation::GADAdValue& value) {
    if (auto self = weak.lock()) self->paidEvent(value);
  });
}

TiloAdInfo TiloAdPresenterBase::adInfo() const {
  return makeAdInfo(adFormat_, unit_.tiloAdUnitId, adMobAd_->responseInfo());
}

void TiloAdPresenterBase::logLine(std::string_view event) const {
  log(std::string(rawValue(adFormat_)) + " Ad " + std::string(event), TiloLogLevel::debug);
}

void TiloAdPresenterBase::setCustomData(const std::string& customData) {
  adMobAd_->setCustomData(customData);
}

bool TiloAdPresenterBase::isReady(
    const std::shared_ptr<platform::UIViewController>& viewController) {
  logLine("isReady");
  return adMobAd_->isReady(viewController);
}

void TiloAdPresenterBase::show(const std::shared_ptr<platform::UIViewController>& viewController) {
  logLine("show");
  std::weak_ptr<TiloAdPresenterBase> weak = weak_from_this();
  (void)adMobAd_->present(viewController, [weak](std::optional<mediation::GADAdReward> reward) {
    auto self = weak.lock();
    if (self && reward) self->earnedReward(*reward);
  });
}

void TiloAdPresenterBase::adWillPresentFullScreenContent() {
  logLine("onShown");
  const TiloAdInfo info = adInfo();
  withCallbackMarker("onShown", info, [&] {
    if (auto closure = closureOf(displayListener_, &TiloDisplayListener::onShown)) closure(info);
  });
}

void TiloAdPresenterBase::adDidDismissFullScreenContent() {
  logLine("onDismiss");
  const TiloAdInfo info = adInfo();
  withCallbackMarker("onDismiss", info, [&] {
    if (auto closure = closureOf(displayListener_, &TiloDisplayListener::onDismiss)) closure(info);
  });
}

void TiloAdPresenterBase::didFailToPresentFullScreenContentWithError(
    const mediation::NSError& error) {
  log(std::string(rawValue(adFormat_)) + " Ad onFailedToShow: " + error.localizedDescription,
      TiloLogLevel::error);
  const TiloError tiloError = toTiloError(error);
  const TiloAdInfo info = adInfo();
  withCallbackMarker("onFailedToShow", info, [&] {
    if (auto closure = closureOf(displayListener_, &TiloDisplayListener::onFailedToShow)) {
      closure(info, tiloError);
    }
  });
}

void TiloAdPresenterBase::adDidRecordImpression() {
  logLine("impression");
  const TiloAdInfo info = adInfo();
  notifyImpression(info);
  logEvent(AdLogEventType::adImpression, info);
}

void TiloAdPresenterBase::adDidRecordClick() {
  logLine("ad Clicked");
  const TiloAdInfo info = adInfo();
  notifyClick(info);
  logEvent(AdLogEventType::adClick, info);
}

void TiloAdPresenterBase::earnedReward(const mediation::GADAdReward& reward) {
  logLine("rewarded");
  const TiloRewardedItem item{static_cast<int>(reward.amount.toDouble()), reward.type};
  const TiloAdInfo info = adInfo();
  withCallbackMarker("onEarnedReward", info, [&] {
    auto closure = rewardedAdListener_ ? rewardedAdListener_->onEarnedReward : nullptr;
    if (closure) closure(info, item);
  });
}

void TiloAdPresenterBase::paidEvent(const mediation::GADAdValue& value) {
  notifyRevenue(adInfo(), TiloRevenueInfo::fromPlatform(unit_.feeRate, value.value,
                                                        value.currencyCode, value.precision));
}

}  // namespace tilo
