#include "Tilo/views/RefreshingAdView.h"

namespace tilo {

void RefreshingAdView::startLoadState(const TiloAdUnit& unit, AdType type, const char* queueLabel) {
  std::weak_ptr<RefreshingAdView> weak =
      std::static_pointer_cast<RefreshingAdView>(shared_from_this());
  adStateManager_ = AdLoadStateManager::create(unit, type, queueLabel);
  adStateManager_->initLoaderAction = [weak] {
    if (auto self = weak.lock()) self->initializeLoader();
  };
  adStateManager_->performAdLoadAction = [weak] {
    auto self = weak.lock();
    return self && self->performAdLoad();
  };
  coordinator_ = AdRefreshCoordinator::create(weak);
  adStateManager_->bindConditions(*coordinator_);
  adStateManager_->startLoaderInitialization();
}

void RefreshingAdView::didMoveToWindow() {
  UIView::didMoveToWindow();
  coordinator_->evaluateVisibility();
}

void RefreshingAdView::didMoveToSuperview() {
  UIView::didMoveToSuperview();
  coordinator_->evaluateVisibility();
}

void RefreshingAdView::setHidden(bool hidden) {
  UIView::setHidden(hidden);
  coordinator_->evaluateVisibility();
}

void RefreshingAdView::layoutSubviews() {
  UIView::layoutSubviews();
  coordinator_->evaluateVisibility();
}

}  // namespace tilo
