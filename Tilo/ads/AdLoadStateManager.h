// Serialises a view's load requests through a small state machine, retries failures
// while the view is visible and the application active, and runs a waiting load as
// soon as both allow it.
//
//   auto state = AdLoadStateManager::create(unit, AdType::banner, "com.tilo.banner.sync");
//   state->initLoaderAction = [weak] { ... resolve the unit, then report ... };
//   state->performAdLoadAction = [weak] { ...; return startedALoad; };
//   state->bindConditions(*coordinator);
//   state->startLoaderInitialization();
//   // later: handleLoaderInitialized(), requestAdLoad(), handleLoadSuccess(), ...
//
//   state          requestAdLoad                   result
//   idle           remembered until the loader exists
//   syncRequested  remembered until the loader exists
//   synced         performAdLoadAction             requested (synced when none started)
//   requested      ignored
//   received       performAdLoadAction             requested (synced when none started)
//
// The loading state and the pending flag live on a concurrent queue: barrier writes,
// synchronous reads. Everything else (the conditions, the retry) is main-thread only.
// Every closure the manager stores holds it weakly.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Tilo/ads/AdRetryManager.h"
#include "Tilo/ads/AdType.h"
#include "Tilo/ads/TiloAdLoadingState.h"
#include "Tilo/base/TiloAdUnit.h"
#include "Tilo/base/TiloError.h"
#include "platform/DispatchQueue.h"
#include "platform/Reactive.h"

namespace tilo {

class AdRefreshCoordinator;

class AdLoadStateManager : public std::enable_shared_from_this<AdLoadStateManager> {
 public:
  static std::shared_ptr<AdLoadStateManager> create(TiloAdUnit unit, AdType adType,
                                                    const std::string& queueLabel);
  AdLoadStateManager(TiloAdUnit unit, AdType adType, const std::string& queueLabel);

  // Starts the loader's creation; must later report handleLoaderInitialized or
  // handleLoaderInitFailure.
  std::function<void()> initLoaderAction;
  // Returns true when it started a load, whose outcome is reported later through
  // handleLoadSuccess or handleLoadFailure.
  std::function<bool()> performAdLoadAction;
  // Kept for the owner; the manager never calls it.
  std::function<void()> retryAction;

  // Follows the coordinator's visibility and app activity (duplicates dropped).
  void bindConditions(AdRefreshCoordinator& coordinator);

  void startLoaderInitialization();
  void handleLoaderInitialized();
  void handleLoaderInitFailure(const TiloError& error);
  void requestAdLoad();
  void handleLoadSuccess();
  void handleLoadFailure(const TiloError& error);

  TiloAdLoadingState loadingState() const;
  bool hasPendingLoadRequest() const;
  bool isVisible() const { return isVisible_; }
  bool isAppActive() const { return isAppActive_; }
  const TiloAdUnit& unit() const { return unit_; }
  AdType adType() const { return adType_; }
  const std::shared_ptr<AdRetryManager>& retryManager() const { return retryManager_; }
  const std::string& queueLabel() const { return synchronizationQueue_->label(); }

 private:
  void setLoadingState(TiloAdLoadingState state);
  void setHasPendingLoadRequest(bool pending);
  void performLoad();
  void retry();
  void retryFired();
  void conditionChanged(bool value);

  const TiloAdUnit unit_;
  const AdType adType_;
  const std::shared_ptr<AdRetryManager> retryManager_;
  const std::shared_ptr<platform::ConcurrentQueue> synchronizationQueue_;
  TiloAdLoadingState loadingState_ = TiloAdLoadingState::idle;  // on the queue only
  bool hasPendingLoadRequest_ = false;                          // on the queue only
  bool isVisible_ = true;
  bool isAppActive_ = true;
  std::vector<platform::Subscription> cancellables_;
};

}  // namespace tilo
