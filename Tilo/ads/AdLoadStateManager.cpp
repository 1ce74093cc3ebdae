#include "Tilo/ads/AdLoadStateManager.h"

#include "Tilo/ads/AdRefreshCoordinator.h"

namespace tilo {

using State = TiloAdLoadingState;

std::shared_ptr<AdLoadStateManager> AdLoadStateManager::create(TiloAdUnit unit, AdType adType,
                                                               const std::string& queueLabel) {
  return std::make_shared<AdLoadStateManager>(std::move(unit), adType, queueLabel);
}

AdLoadStateManager::AdLoadStateManager(TiloAdUnit unit, AdType adType,
                                       const std::string& queueLabel)
    : unit_(std::move(unit)),
      adType_(adType),
      retryManager_(AdRetryManager::create(AdRetryPolicy{})),
      synchronizationQueue_(platform::ConcurrentQueue::create(queueLabel)) {}

void AdLoadStateManager::setLoadingState(State state) {
  std::weak_ptr<AdLoadStateManager> weak = weak_from_this();
  synchronizationQueue_->asyncBarrier([weak, state] {
    if (auto self = weak.lock()) self->loadingState_ = state;
  });
}

void AdLoadStateManager::setHasPendingLoadRequest(bool pending) {
  std::weak_ptr<AdLoadStateManager> weak = weak_from_this();
  synchronizationQueue_->asyncBarrier([weak, pending] {
    if (auto self = weak.lock()) self->hasPendingLoadRequest_ = pending;
  });
}

TiloAdLoadingState AdLoadStateManager::loadingState() const {
  return synchronizationQueue_->sync([this] { return loadingState_; });
}

bool AdLoadStateManager::hasPendingLoadRequest() const {
  return synchronizationQueue_->sync([this] { return hasPendingLoadRequest_; });
}

void AdLoadStateManager::bindConditions(AdRefreshCoordinator& coordinator) {
  std::weak_ptr<AdLoadStateManager> weak = weak_from_this();
  cancellables_.push_back(
      coordinator.isVisiblePublisher().removeDuplicates().sink([weak](const bool& visible) {
        if (auto self = weak.lock()) {
          self->isVisible_ = visible;
          self->conditionChanged(visible);
        }
      }));
  cancellables_.push_back(
      coordinator.isAppActivePublisher().removeDuplicates().sink([weak](const bool& active) {
        if (auto self = weak.lock()) {
          self->isAppActive_ = active;
          self->conditionChanged(active);
        }
      }));
}

void AdLoadStateManager::startLoaderInitialization() {
  setLoadingState(State::syncRequested);
  if (auto action = initLoaderAction) action();
}

void AdLoadStateManager::handleLoaderInitialized() {
  setLoadingState(State::synced);
  retryManager_->setRetryCount(0);
  if (hasPendingLoadRequest()) {
    setHasPendingLoadRequest(false);
    performLoad();
  }
}

void AdLoadStateManager::performLoad() {
  setLoadingState(State::requested);
  if (auto action = performAdLoadAction; action && action()) return;
  setLoadingState(State::synced);
}

void AdLoadStateManager::handleLoaderInitFailure(const TiloError&) {
  setLoadingState(State::idle);
  retry();
}

void AdLoadStateManager::requestAdLoad() {
  retryManager_->cancelRetry();
  switch (loadingState()) {
    case State::idle:
    case State::syncRequested:
      setHasPendingLoadRequest(true);
      return;
    case State::requested:
      return;
    case State::synced:
    case State::received:
      performLoad();
      return;
  }
}

void AdLoadStateManager::handleLoadSuccess() {
  setLoadingState(State::received);
  retryManager_->setRetryCount(0);
}

void AdLoadStateManager::handleLoadFailure(const TiloError&) {
  setLoadingState(State::synced);
  retry();
}

void AdLoadStateManager::retry() {
  if (!isVisible_ || !isAppActive_) return;
  std::weak_ptr<AdLoadStateManager> weak = weak_from_this();
  retryManager_->scheduleRetry(std::string(rawValue(adType_)), [weak] {
    if (auto self = weak.lock()) self->retryFired();
  });
}

void AdLoadStateManager::retryFired() {
  if (!isVisible_ || !isAppActive_) return;
  switch (loadingState()) {
    case State::synced:
    case State::received:
      requestAdLoad();
      return;
    case State::idle:
      startLoaderInitialization();
      return;
    case State::syncRequested:
    case State::requested:
      return;
  }
}

void AdLoadStateManager::conditionChanged(bool value) {
  if (!value) {
    retryManager_->cancelRetry();
    return;
  }
  if (isVisible_ && isAppActive_ && loadingState() == State::synced) requestAdLoad();
}

}  // namespace tilo
