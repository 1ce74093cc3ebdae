#include "Tilo/views/CommonAdNativeView.h"

#include "Tilo/base/MainThreadCheck.h"
#include "Tilo/base/TiloLogger.h"
#include "Tilo/telemetry/AdCallbackMarker.h"
#include "Tilo/telemetry/AdLoadTracker.h"
#include "Tilo/telemetry/CrashMarkers.h"
#include "Tilo/views/NativeAdReporting.h"
#include "Tilo/views/TiloAdNativeLoader.h"
#include "platform/Environment.h"
#include "platform/ui/NSLayoutConstraint.h"

namespace tilo {

CommonAdNativeView::CommonAdNativeView(TiloAdUnit unit, bool autoLoad,
                                       std::shared_ptr<platform::UIView> adView,
                                       std::shared_ptr<TiloServiceProtocol> service)
    : adView_(std::move(adView)),
      tiloAdUnitSynchronizer_(Synchronizer::create(
          [](const TiloAdUnitItem& item, Completion<std::shared_ptr<AdNativeLoadable>> done) {
            platform::postToMain([item, done] {
              done(std::shared_ptr<AdNativeLoadable>(TiloAdNativeLoader::create(item)));
            });
          },
          std::move(service))),
      unit_(std::move(unit)),
      autoLoad_(autoLoad),
      internalListener_(TiloAdListener<AdNativeLoadable>::create()),
      listener_(TiloAdListener<TiloAdUnit>::create()) {}

CommonAdNativeView::~CommonAdNativeView() {
  if (loadRunning_) completeAdLoad(unit_.unitId);
}

std::weak_ptr<CommonAdNativeView> CommonAdNativeView::weakSelf() {
  return std::static_pointer_cast<CommonAdNativeView>(shared_from_this());
}

void CommonAdNativeView::initializeView() {
  UIView::initializeView();
  adView_->setTranslatesAutoresizingMaskIntoConstraints(false);
  UIView::addSubview(adView_);
  platform::NSLayoutConstraint::activateConstraints({
      adView_->leadingAnchor().constraintEqualToAnchor(leadingAnchor()),
      adView_->trailingAnchor().constraintEqualToAnchor(trailingAnchor()),
      adView_->topAnchor().constraintEqualToAnchor(topAnchor()),
      adView_->bottomAnchor().constraintEqualToAnchor(bottomAnchor()),
  });
  startLoadState(unit_, AdType::native, "com.tilo.native.sync");
}

void CommonAdNativeView::addSubview(const std::shared_ptr<platform::UIView>& view) {
  adView_->addSubview(view);
}

void CommonAdNativeView::initializeLoader() {
  auto weak = weakSelf();
  internalListener_->onAdLoadSuccess = [weak](std::shared_ptr<AdNativeLoadable> loader,
                                              std::optional<TiloAdInfo>) {
    if (auto self = weak.lock()) self->configureLoader(loader);
  };
  internalListener_->onAdLoadFail = [weak](const TiloError& error) {
    auto self = weak.lock();
    if (!self) return;
    if (auto closure = self->listener_->onAdLoadFail) closure(error);
    self->adStateManager_->handleLoaderInitFailure(error);
  };
  tiloAdUnitSynchronizer_->syncAndLoad(unit_.unitId, internalListener_);
}

void CommonAdNativeView::configureLoader(const std::shared_ptr<AdNativeLoadable>& loader) {
  if (!loader) return;
  loader_ = loader;
  auto weak = weakSelf();
  coordinator_->setRefreshInterval(loader->refreshInterval());
  coordinator_->refreshHandler = [weak] {
    if (auto self = weak.lock()) self->refresh();
  };
  const auto& events = loader->listener();
  events->onAdClicked = [weak](std::optional<TiloAdInfo> info) {
    if (auto self = weak.lock())
      reportNativeClick(self->unit_.unitId, info, self->listener_->onAdClicked);
  };
  events->onAdImpression = [weak](std::optional<TiloAdInfo> info) {
    auto self = weak.lock();
    if (!self) return;
    reportNativeImpression(self->unit_.unitId, info, self->listener_->onAdImpression);
    self->coordinator_->stopRefreshTimer();
    self->coordinator_->startRefreshTimer();
  };
  events->onAdInternalEvent = pluginEventForwarder(weak);
  adStateManager_->handleLoaderInitialized();
  // Already on screen: the visibility that would have loaded came before the loader.
  if (autoLoad_ && coordinator_->isVisible() && coordinator_->isAppActive() &&
      adStateManager_->loadingState() == TiloAdLoadingState::synced) {
    adStateManager_->requestAdLoad();
  }
}

bool CommonAdNativeView::performAdLoad() {
  if (!loader_) {
    adStateManager_->handleLoadFailure(
        TiloError(TiloError::Code::adLoadFailed, "Loader not initialized"));
    return false;
  }
  if (!autoLoad_ && !hasEverLoadedAd_) return false;
  runLoadSequence();
  return true;
}

void CommonAdNativeView::runLoadSequence() {
  if (loadRunning_) return;  // joins the load that runs
  loadRunning_ = true;
  std::weak_ptr<CommonAdNativeView> weak = weakSelf();
  runTrackedNativeLoad(
      unit_.unitId, loader_,
      [weak](std::shared_ptr<AdNativeLoadable> loader, std::optional<Result<TiloAdNative>> result) {
        auto self = weak.lock();
        if (!self) return;
        self->loadRunning_ = false;
        if (loader && result) self->loadFinished(loader, std::move(*result));
      });
}

void CommonAdNativeView::loadFinished(const std::shared_ptr<AdNativeLoadable>& loader,
                                      Result<TiloAdNative> result) {
  auto self = shared_from_this();  // the host may release the view in its callback
  if (result) {
    const TiloAdNative& ad = result.value();
    log("✅ 네이티브 광고 로드 성공 - 단위ID: " + unit_.unitId, TiloLogLevel::debug);
    adStateManager_->handleLoadSuccess();
    renderAd(ad, loader);
    const TiloAdInfo info{TiloAdFormat::native, ad.unitId, ad.latency, std::nullopt};
    withAdCallbackMarker("onAdLoadSuccess", info, [&] {
      if (auto closure = listener_->onAdLoadSuccess) {
        closure(std::make_shared<TiloAdUnit>(unit_), info);
      }
    });
    return;
  }
  const TiloError error = asTiloError(*result.error());
  log("❌ 네이티브 광고 로드 실패 - 단위ID: " + unit_.unitId + ", 에러: " + error.debugDescription(),
      TiloLogLevel::debug);
  adStateManager_->handleLoadFailure(error);
  withAdCallbackMarker("onAdLoadFail", std::nullopt, [&] {
    if (auto closure = listener_->onAdLoadFail) closure(error);
  });
}

void CommonAdNativeView::refresh() {
  if (!autoLoad_ && !hasEverLoadedAd_) return;
  if (loader_) runLoadSequence();
}

void CommonAdNativeView::loadAd() {
  requireMainThread();
  hasEverLoadedAd_ = true;
  coordinator_->stopRefreshTimer();
  adStateManager_->requestAdLoad();
}

void CommonAdNativeView::bindViews(std::shared_ptr<platform::UILabel> titleLabel,
                                   std::shared_ptr<platform::UILabel> advertiserLabel,
                                   std::shared_ptr<platform::UILabel> bodyLabel,
                                   std::shared_ptr<platform::UIImageView> iconImageView,
                                   std::shared_ptr<platform::UIView> mediaContentView,
                                   std::shared_ptr<platform::UIButton> callToActionButton) {
  titleLabel_ = std::move(titleLabel);
  advertiserLabel_ = std::move(advertiserLabel);
  bodyLabel_ = std::move(bodyLabel);
  iconImageView_ = std::move(iconImageView);
  mediaContentView_ = std::move(mediaContentView);
  callToActionButton_ = std::move(callToActionButton);
}

void CommonAdNativeView::renderAd(const TiloAdNative&, const std::shared_ptr<AdNativeLoadable>&) {}

}  // namespace tilo
