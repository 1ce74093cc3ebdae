#include "Tilo/views/CommonAdBannerView.h"

#include "Tilo/base/MainThreadCheck.h"
#include "Tilo/base/TiloConfiguration.h"
#include "Tilo/base/TiloLogger.h"
#include "Tilo/telemetry/AdCallbackMarker.h"
#include "Tilo/telemetry/AdLoadTracker.h"
#include "Tilo/telemetry/CrashMarkers.h"
#include "Tilo/views/TiloAdBannerLoader.h"
#include "platform/Environment.h"
#include "platform/ui/NSLayoutConstraint.h"

namespace tilo {

CommonAdBannerView::CommonAdBannerView(TiloAdUnit unit, TiloAdBannerSize bannerSize, bool autoLoad,
                                       std::shared_ptr<TiloServiceProtocol> service)
    : tiloAdUnitSynchronizer_(Synchronizer::create(
          [slots = BannerApsSlots{service->config().apsSlotUUID(TiloAdFormat::banner),
                                  service->config().apsSlotUUID(TiloAdFormat::mrec)}](
              const TiloAdUnitItem& item, Completion<std::shared_ptr<AdBannerLoadable>> done) {
            // The loader and its platform view are made on the main thread.
            platform::postToMain([item, slots, done] {
              done(std::shared_ptr<AdBannerLoadable>(TiloAdBannerLoader::create(item, slots)));
            });
          },
          service)),
      unit_(std::move(unit)),
      bannerSize_(bannerSize),
      autoLoad_(autoLoad),
      internalListener_(TiloAdListener<AdBannerLoadable>::create()),
      listener_(TiloAdListener<TiloAdUnit>::create()) {}

CommonAdBannerView::~CommonAdBannerView() {
  if (requestOut_) completeAdLoad(unit_.unitId);
}

std::weak_ptr<CommonAdBannerView> CommonAdBannerView::weakSelf() {
  return std::static_pointer_cast<CommonAdBannerView>(shared_from_this());
}

void CommonAdBannerView::initializeView() {
  UIView::initializeView();
  startLoadState(unit_, AdType::banner, "com.tilo.banner.sync");
}

void CommonAdBannerView::initializeLoader() {
  auto weak = weakSelf();
  internalListener_->onAdLoadSuccess = [weak](std::shared_ptr<AdBannerLoadable> loader,
                                              std::optional<TiloAdInfo>) {
    if (auto self = weak.lock()) self->configureLoader(loader);
  };
  internalListener_->onAdLoadFail = [weak](const TiloError& error) {
    if (auto self = weak.lock()) self->loaderInitFailed(error);
  };
  tiloAdUnitSynchronizer_->syncAndLoad(unit_.unitId, internalListener_);
}

void CommonAdBannerView::loaderInitFailed(const TiloError& error) {
  completeAdLoad(unit_.unitId);
  if (auto closure = listener_->onAdLoadFail) closure(error);
  adStateManager_->handleLoaderInitFailure(error);
}

void CommonAdBannerView::configureLoader(const std::shared_ptr<AdBannerLoadable>& loader) {
  if (!loader) return;
  completeAdLoad(unit_.unitId);
  loader->setBannerSize(bannerSize_);
  const auto& banner = loader->gadBannerView();
  banner->setAdSize(mediation::GADAdSizeFromCGSize({width(bannerSize_), height(bannerSize_)}));
  banner->setAdUnitID(loader->unit().mediationAdUnitId);
  banner->setRootViewController(rootViewController());
  // Sent before the callbacks are wired: the platform answers asynchronously.
  if (autoLoad_) {
    requestOut_ = true;
    loader->loadAd();
  }
  loader_ = loader;
  loader_->setRootViewController(rootViewController());
  embed(banner);

  auto weak = weakSelf();
  coordinator_->setRefreshInterval(loader->unit().refreshInterval);
  coordinator_->refreshHandler = [weak] {
    if (auto self = weak.lock()) self->refresh();
  };
  const auto& events = loader->listener();
  events->onAdLoadSuccess = [weak](std::shared_ptr<void>, std::optional<TiloAdInfo> info) {
    if (auto self = weak.lock()) self->loadSucceeded(info.value_or(TiloAdInfo{}));
  };
  events->onAdLoadFail = [weak](const TiloError& error) {
    if (auto self = weak.lock()) self->loadFailed(error);
  };
  events->onAdClicked = [weak](std::optional<TiloAdInfo> info) {
    if (auto self = weak.lock()) self->clicked(info.value_or(TiloAdInfo{}));
  };
  events->onAdImpression = [weak](std::optional<TiloAdInfo> info) {
    if (auto self = weak.lock()) self->impression(info.value_or(TiloAdInfo{}));
  };
  events->onAdInternalEvent = pluginEventForwarder(weak);
  adStateManager_->handleLoaderInitialized();
}

bool CommonAdBannerView::performAdLoad() {
  if (!loader_) {
    adStateManager_->handleLoadFailure(
        TiloError(TiloError::Code::adLoadFailed, "Loader not initialized"));
    return false;
  }
  if (!autoLoad_ && !hasEverLoadedAd_) return false;
  if (requestOut_) return true;  // joins the request out; its answer ends this load
  if (enableMarkerCheckpoints()) {
    updateAdLoadPhase(unit_.unitId, "start");
    updateAdLoadPhase(unit_.unitId, "load");
  }
  sendRequest();
  return true;
}

void CommonAdBannerView::sendRequest() {
  requestOut_ = true;
  loader_->loadAd();
}

void CommonAdBannerView::requestEnded() {
  requestOut_ = false;
  completeAdLoad(unit_.unitId);
}

void CommonAdBannerView::refresh() {
  if (!autoLoad_ && !hasEverLoadedAd_) return;
  if (loader_ && !requestOut_) sendRequest();
}

void CommonAdBannerView::embed(const std::shared_ptr<mediation::GADBannerView>& banner) {
  if (banner->superview().get() == this) return;
  setTranslatesAutoresizingMaskIntoConstraints(false);
  banner->setTranslatesAutoresizingMaskIntoConstraints(false);
  addSubview(banner);
  platform::NSLayoutConstraint::activateConstraints({
      banner->centerXAnchor().constraintEqualToAnchor(centerXAnchor()),
      banner->centerYAnchor().constraintEqualToAnchor(centerYAnchor()),
      banner->widthAnchor().constraintEqualToConstant(width(bannerSize_)),
      banner->heightAnchor().constraintEqualToConstant(height(bannerSize_)),
      banner->topAnchor().constraintGreaterThanOrEqualToAnchor(topAnchor()),
      banner->bottomAnchor().constraintGreaterThanOrEqualToAnchor(bottomAnchor()),
      banner->leadingAnchor().constraintGreaterThanOrEqualToAnchor(leadingAnchor()),
      banner->trailingAnchor().constraintGreaterThanOrEqualToAnchor(trailingAnchor()),
  });
}

void CommonAdBannerView::loadSucceeded(const TiloAdInfo& info) {
  log("✅ 배너 광고 로드 성공 - 단위ID: " + unit_.unitId, TiloLogLevel::debug);
  requestEnded();
  adStateManager_->handleLoadSuccess();
  withAdCallbackMarker("onAdLoadSuccess", info, [&] {
    if (auto closure = listener_->onAdLoadSuccess) {
      closure(std::make_shared<TiloAdUnit>(unit_), info);
    }
  });
}

void CommonAdBannerView::loadFailed(const TiloError& error) {
  log("❌ 배너 광고 로드 실패 - 단위ID: " + unit_.unitId + ", 에러: " + error.debugDescription(),
      TiloLogLevel::debug);
  requestEnded();
  adStateManager_->handleLoadFailure(error);
  withAdCallbackMarker("onAdLoadFail", std::nullopt, [&] {
    if (auto closure = listener_->onAdLoadFail) closure(error);
  });
}

void CommonAdBannerView::clicked(const TiloAdInfo& info) {
  log("Banner Ad clicked " + unit_.unitId, TiloLogLevel::debug);
  withAdCallbackMarker("onAdClicked", info, [&] {
    if (auto closure = listener_->onAdClicked) closure(info);
  });
}

void CommonAdBannerView::impression(const TiloAdInfo& info) {
  log("Banner Ad Impression " + unit_.unitId, TiloLogLevel::debug);
  auto self = shared_from_this();  // the host may release the view in its callback
  withAdCallbackMarker("onAdImpression", std::nullopt, [&] {
    if (auto closure = listener_->onAdImpression) closure(info);
  });
  coordinator_->stopRefreshTimer();
  coordinator_->startRefreshTimer();
}

void CommonAdBannerView::loadAd() {
  requireMainThread();
  hasEverLoadedAd_ = true;
  coordinator_->stopRefreshTimer();
  adStateManager_->requestAdLoad();
}

void CommonAdBannerView::setRootViewController(
    const std::shared_ptr<platform::UIViewController>& controller) {
  requireMainThread();
  rootViewController_ = controller;
  if (loader_) loader_->setRootViewController(controller);
}

}  // namespace tilo
