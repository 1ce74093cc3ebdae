// What the banner and native views share: a load state whose loads wait until the view can
// be seen and the application is active, and the view hooks that ask again whether it can
// (a window, a superview, `hidden`, a layout pass that gives it its size). Subclasses build
// their loader in initializeLoader() and send a request in performAdLoad(); the state
// manager calls both. A view laid out by Auto Layout gets its size only in layoutSubviews,
// so that re-checks visibility too.
#pragma once

#include <memory>

#include "Tilo/ads/AdLoadStateManager.h"
#include "Tilo/ads/AdRefreshCoordinator.h"
#include "Tilo/base/TiloAdUnit.h"
#include "Tilo/base/TiloExport.h"
#include "platform/ui/UIView.h"

namespace tilo {

class TILO_EXPORT RefreshingAdView : public platform::UIView {
 public:
  const std::shared_ptr<AdLoadStateManager>& adStateManager() const { return adStateManager_; }
  const std::shared_ptr<AdRefreshCoordinator>& coordinator() const { return coordinator_; }

  // Subclasses override these and call the base first.
  void didMoveToWindow() override;
  void didMoveToSuperview() override;
  void setHidden(bool hidden) override;
  void layoutSubviews() override;

 protected:
  // Called once from initializeView(): starts resolving the unit; `queueLabel` names the
  // state manager's queue.
  void startLoadState(const TiloAdUnit& unit, AdType type, const char* queueLabel);
  virtual void initializeLoader() = 0;
  // False when no request went out.
  virtual bool performAdLoad() = 0;

  std::shared_ptr<AdRefreshCoordinator> coordinator_;
  std::shared_ptr<AdLoadStateManager> adStateManager_;
};

}  // namespace tilo
