// The loader every full-screen format shares: resolves the host's ad unit, loads the ad
// from the mediation platform, wraps it in its presenter and public ad object, and hands
// that to `listener()`. Clicks and impressions of the delivered ad are forwarded to the
// same listener inside the ad-callback crash marker; revenue goes to a registered plugin.
//
//   auto loader = TiloInterstitialAdLoader::create(TiloAdUnit{"interstitial-unit"});
//   loader->listener()->onAdLoadSuccess = [](auto ad, auto info) { ad->show(); };
//   loader->listener()->onAdLoadFail = [](const TiloError& error) { ... };
//   loader->load();
//
// Every closure the loader installs holds it weakly: releasing the loader stops the
// forwarding to the host listener (the delivered ad itself keeps working).
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "Tilo/ads/TiloAdListener.h"
#include "Tilo/ads/TiloAdPresenter.h"
#include "Tilo/ads/TiloPlugin.h"
#include "Tilo/backend/TiloAdUnitSynchronizer.h"
#include "Tilo/backend/TiloServiceProtocol.h"
#include "Tilo/base/Result.h"
#include "Tilo/base/TiloAdUnit.h"
#include "Tilo/base/TiloExport.h"
#include "Tilo/telemetry/AdCallbackMarker.h"
#include "Tilo/telemetry/CrashMarkers.h"
#include "mediation/GADRequest.h"
#include "mediation/NSError.h"
#include "platform/Environment.h"

namespace tilo {

// Steps of a platform load shared by every format.
// Logs the start, reports ad_request and builds the request, with Amazon extras when the
// configuration has a slot for the format.
std::shared_ptr<mediation::GADRequest> beginPlatformLoad(
    TiloAdFormat format, const TiloAdUnitItem& item, const std::optional<std::string>& apsSlotUUID);
// Logs the success and reports ad_response with the response's latency and network.
void reportPlatformLoadSuccess(TiloAdFormat format, const TiloAdUnitItem& item,
                               const mediation::GADResponseInfo& responseInfo);
// Logs the failure, reports ad_response_error with the platform's own code and text and
// returns the error the host receives.
TiloError reportPlatformLoadFailure(TiloAdFormat format, const TiloAdUnitItem& item,
                                    const mediation::NSError& error);

// The item-load operation of a full-screen loader: platform load of `GADAd` for the item's
// mediation unit, then presenter and public ad object.
template <class Ad, class GADAd>
std::function<void(const TiloAdUnitItem&, Completion<std::shared_ptr<Ad>>)> makeFullScreenItemLoad(
    TiloAdFormat format, std::optional<std::string> apsSlotUUID) {
  return [format, apsSlotUUID](const TiloAdUnitItem& item, Completion<std::shared_ptr<Ad>> done) {
    auto request = beginPlatformLoad(format, item, apsSlotUUID);
    GADAd::loadWithAdUnitID(
        item.mediationAdUnitId, request,
        [format, item, done](std::shared_ptr<GADAd> ad, std::optional<mediation::NSError> error) {
          if (!ad) {
            const TiloError failure =
                reportPlatformLoadFailure(format, item, error.value_or(mediation::NSError{}));
            done(Result<std::shared_ptr<Ad>>::failure(failure));
            return;
          }
          reportPlatformLoadSuccess(format, item, ad->responseInfo());
          auto presenter = TiloAdPresenter<Ad>::create(makeAdMobAd(ad), item, format);
          done(Ad::create(presenter, presenter->listener()));
        });
  };
}

template <class Ad>
class TILO_EXPORT TiloAdLoader : public HasPlugin,
                                 public PluginRegisterble,
                                 public std::enable_shared_from_this<TiloAdLoader<Ad>> {
 public:
  using AdListener = TiloAdListener<Ad>;
  using Synchronizer = TiloAdUnitSynchronizer<std::shared_ptr<Ad>>;

  const TiloAdUnit& unit() const { return unit_; }
  // The host's listener: created with the loader, never replaced.
  const std::shared_ptr<AdListener>& listener() const { return listener_; }
  std::shared_ptr<TiloPlugin> plugin() const override;
  void setPlugin(std::shared_ptr<TiloPlugin> plugin) override;
  // The last ad this loader delivered.
  std::shared_ptr<Ad> ad() const;

  // Starts one load; the outcome reaches listener() on the main thread. Loads may overlap:
  // each reports, and ad() holds the last success.
  void load();
  // The same load, and then `completion` (on the main thread) with the ad or the error that
  // listener() already received. The loader stays alive until then.
  void loadAd(std::function<void(Result<std::shared_ptr<Ad>>)> completion);

 protected:
  TiloAdLoader(TiloAdUnit unit, typename Synchronizer::LoaderFactory itemLoad,
               std::shared_ptr<TiloServiceProtocol> service);
  // Wires the internal listener; the concrete loader's factory calls it once.
  void start();
  // Runs before a delivered ad is stored.
  virtual void willStoreAd(const std::shared_ptr<Ad>&) {}

 private:
  using InfoClosure = std::function<void(std::optional<TiloAdInfo>)>;

  void loadSucceeded(const std::shared_ptr<Ad>& ad);
  void loadFailed(const TiloError& error);
  void setAd(const std::shared_ptr<Ad>& ad);
  // Calls the host's closure `field` as a new main-thread task, inside the ad-callback
  // marker; the marker is written and removed even when the loader is gone.
  static void forward(const std::weak_ptr<TiloAdLoader>& weak, const char* phase,
                      InfoClosure AdListener::*field, std::optional<TiloAdInfo> info);

  const TiloAdUnit unit_;
  const std::shared_ptr<Synchronizer> tiloAdUnitSynchronizer_;
  const std::shared_ptr<AdListener> internalListener_ = AdListener::create();
  mutable std::mutex mutex_;  // ad_ and plugin_
  std::shared_ptr<Ad> ad_;
  std::shared_ptr<TiloPlugin> plugin_;
  const std::shared_ptr<AdListener> listener_ = AdListener::create();
};

// Members are defined here and instantiated once, in each concrete loader's source file.

template <class Ad>
TiloAdLoader<Ad>::TiloAdLoader(TiloAdUnit unit, typename Synchronizer::LoaderFactory itemLoad,
                               std::shared_ptr<TiloServiceProtocol> service)
    : unit_(std::move(unit)),
      tiloAdUnitSynchronizer_(Synchronizer::create(std::move(itemLoad), std::move(service))) {}

template <class Ad>
void TiloAdLoader<Ad>::start() {
  std::weak_ptr<TiloAdLoader> weak = this->weak_from_this();
  internalListener_->onAdLoadSuccess = [weak](std::shared_ptr<Ad> ad, std::optional<TiloAdInfo>) {
    if (auto self = weak.lock()) self->loadSucceeded(ad);
  };
  internalListener_->onAdLoadFail = [weak](const TiloError& error) {
    if (auto self = weak.lock()) self->loadFailed(error);
  };
}

template <class Ad>
std::shared_ptr<TiloPlugin> TiloAdLoader<Ad>::plugin() const {
  std::lock_guard lock(mutex_);
  return plugin_;
}

template <class Ad>
void TiloAdLoader<Ad>::setPlugin(std::shared_ptr<TiloPlugin> plugin) {
  std::lock_guard lock(mutex_);
  plugin_ = std::move(plugin);
}

template <class Ad>
std::shared_ptr<Ad> TiloAdLoader<Ad>::ad() const {
  std::lock_guard lock(mutex_);
  return ad_;
}

template <class Ad>
void TiloAdLoader<Ad>::load() {
  tiloAdUnitSynchronizer_->syncAndLoad(unit_.unitId, internalListener_);
}

template <class Ad>
void TiloAdLoader<Ad>::loadAd(std::function<void(Result<std::shared_ptr<Ad>>)> completion) {
  auto relay = AdListener::create();
  auto self = this->shared_from_this();
  // The set-ad step runs once, before the host hears of the ad: run again afterwards it
  // would overwrite closures the host set on the ad's listener in onAdLoadSuccess.
  relay->onAdLoadSuccess = [self, completion](std::shared_ptr<Ad> ad, std::optional<TiloAdInfo>) {
    self->loadSucceeded(ad);
    if (completion) completion(ad);
  };
  relay->onAdLoadFail = [self, completion](const TiloError& error) {
    self->loadFailed(error);
    if (completion) completion(Result<std::shared_ptr<Ad>>::failure(error));
  };
  tiloAdUnitSynchronizer_->syncAndLoad(unit_.unitId, relay);
}

template <class Ad>
void TiloAdLoader<Ad>::loadSucceeded(const std::shared_ptr<Ad>& ad) {
  setAd(ad);
  if (auto closure = listener_->onAdLoadSuccess) closure(ad, ad->adInfo());
}

template <class Ad>
void TiloAdLoader<Ad>::loadFailed(const TiloError& error) {
  if (auto closure = listener_->onAdLoadFail) closure(error);
}

template <class Ad>
void TiloAdLoader<Ad>::setAd(const std::shared_ptr<Ad>& ad) {
  willStoreAd(ad);
  {
    std::lock_guard lock(mutex_);
    ad_ = ad;
  }
  std::weak_ptr<TiloAdLoader> weak = this->weak_from_this();
  const auto& adListener = ad->listener();
  adListener->onAdClicked = [weak](std::optional<TiloAdInfo> info) {
    forward(weak, "onAdClicked", &AdListener::onAdClicked, std::move(info));
  };
  adListener->onAdImpression = [weak](std::optional<TiloAdInfo> info) {
    forward(weak, "onAdImpression", &AdListener::onAdImpression, std::move(info));
  };
  adListener->onAdInternalEvent = pluginEventForwarder(weak);
}

template <class Ad>
void TiloAdLoader<Ad>::forward(const std::weak_ptr<TiloAdLoader>& weak, const char* phase,
                               InfoClosure AdListener::*field, std::optional<TiloAdInfo> info) {
  platform::postToMain([weak, phase, field, info = std::move(info)] {
    withAdCallbackMarker(phase, info, [&] {
      if (auto self = weak.lock()) {
        if (auto closure = (*self->listener_).*field) closure(info);
      }
    });
  });
}

}  // namespace tilo
