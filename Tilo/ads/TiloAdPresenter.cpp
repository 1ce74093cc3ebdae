#include "Tilo/ads/TiloAdPresenter.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <mutex>
#include <vector>

#include "Tilo/base/TiloLogger.h"
#include "Tilo/networks/ErrorConversion.h"
#include "Tilo/telemetry/AdCallbackMarker.h"
#include "Tilo/telemetry/AdEventLogger.h"
#include "Tilo/telemetry/DiagnosticsRecorder.h"

namespace tilo {
namespace {

// Presentations in progress, each owning its presenter the way a window owns what it
// presents: a host may drop every reference to a showing ad (to preload the next one from
// onShown, say) and still hears onDismiss. Never destroyed, like the main loop whose tasks
// end the presentations.
struct Presentations {
  std::mutex mutex;
  std::vector<std::shared_ptr<TiloAdPresenterBase>> showing;
};
Presentations& presentations() {
  static Presentations& instance = *new Presentations();
  return instance;
}

// The whole part of the platform's decimal amount; a value beyond 64 bits is clamped.
std::int64_t rewardAmount(const platform::Decimal& amount) {
  if (auto whole = amount.toInt64()) return *whole;
  log("Reward amount out of range, clamped: " + amount.description(), TiloLogLevel::error);
  return amount.isNegative() ? std::numeric_limits<std::int64_t>::min()
                             : std::numeric_limits<std::int64_t>::max();
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
  // Owned before the platform may call back, released at once when it refuses.
  beginPresentation();
  auto refusal =
      adMobAd_->present(viewController, [weak](std::optional<mediation::GADAdReward> reward) {
        auto self = weak.lock();
        if (self && reward) self->earnedReward(*reward);
      });
  if (!refusal) return;
  // The one refusal the host hears of: the ad was ready and its time ran out. Others (an
  // ad already shown) stay silent.
  if (*refusal == mediation::GADAdExpiredError()) {
    return failToShow(
        refusal->localizedDescription,
        TiloError(TiloError::Code::fullscreenAdNotReady, refusal->localizedDescription));
  }
  endPresentation();
}

void TiloAdPresenterBase::beginPresentation() {
  auto& all = presentations();
  std::lock_guard lock(all.mutex);
  all.showing.push_back(shared_from_this());
}

void TiloAdPresenterBase::endPresentation() {
  std::shared_ptr<TiloAdPresenterBase> released;  // may be the last owner: dropped unlocked
  auto& all = presentations();
  std::lock_guard lock(all.mutex);
  auto found = std::find_if(all.showing.begin(), all.showing.end(),
                            [this](const auto& presenter) { return presenter.get() == this; });
  if (found == all.showing.end()) return;
  released = std::move(*found);
  all.showing.erase(found);
}

void TiloAdPresenterBase::adWillPresentFullScreenContent() {
  logLine("onShown");
  const TiloAdInfo info = adInfo();
  withAdCallbackMarker("onShown", info, [&] {
    if (auto closure = closureOf(displayListener_, &TiloDisplayListener::onShown)) closure(info);
  });
}

void TiloAdPresenterBase::adDidDismissFullScreenContent() {
  auto self = shared_from_this();
  PresentationEnd end{*this};
  logLine("onDismiss");
  const TiloAdInfo info = adInfo();
  withAdCallbackMarker("onDismiss", info, [&] {
    if (auto closure = closureOf(displayListener_, &TiloDisplayListener::onDismiss)) closure(info);
  });
}

void TiloAdPresenterBase::didFailToPresentFullScreenContentWithError(
    const mediation::NSError& error) {
  failToShow(error.localizedDescription, toTiloError(error));
}

void TiloAdPresenterBase::failToShow(const std::string& reason, const TiloError& tiloError) {
  auto self = shared_from_this();
  PresentationEnd end{*this};
  log(std::string(rawValue(adFormat_)) + " Ad onFailedToShow: " + reason, TiloLogLevel::error);
  const TiloAdInfo info = adInfo();
  withAdCallbackMarker("onFailedToShow", info, [&] {
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
  const TiloRewardedItem item{rewardAmount(reward.amount), reward.type};
  const TiloAdInfo info = adInfo();
  withAdCallbackMarker("onEarnedReward", info, [&] {
    auto closure = rewardedAdListener_ ? rewardedAdListener_->onEarnedReward : nullptr;
    if (closure) closure(info, item);
  });
}

void TiloAdPresenterBase::paidEvent(const mediation::GADAdValue& value) {
  const auto revenue = TiloRevenueInfo::fromPlatform(unit_.feeRate, value.value, value.currencyCode,
                                                     value.precision);
  DiagnosticsRecorder::shared().revenuePaid(unit_.tiloAdUnitId, revenue);
  notifyRevenue(adInfo(), revenue);
}

}  // namespace tilo
