// Watches whether a view is on screen and the application active, and runs the view's
// one-shot refresh timer.
//
//   auto coordinator = AdRefreshCoordinator::create(bannerView);
//   coordinator->setRefreshInterval(30);
//   coordinator->refreshHandler = [weak] { if (auto view = weak.lock()) view->reload(); };
//   coordinator->evaluateVisibility();   // from didMoveToWindow and friends
//
// The timer runs only while the view counts as visible: it starts when the view is found
// visible, stops when it is not, and stops when the application enters the background;
// becoming active evaluates the view again and starts a new full-length timer. A timer
// that fires while the application is not active skips the handler and is not rearmed.
//
// A view counts as hidden when any ancestor is hidden or their alphas multiply to 0.01 or
// less. Ancestors change without telling the view, so a due refresh looks again first
// (and is skipped when the view no longer shows), and a view found in a window but not
// showing is looked at again every kVisibilityCheckInterval seconds until it shows.
//
// Main thread only. The view is held weakly; the notification subscriptions and the timer
// hold the coordinator weakly and end with it.
#pragma once

#include <functional>
#include <memory>

#include "platform/Reactive.h"
#include "platform/Timer.h"

namespace tilo::platform {
class UIView;
}

namespace tilo {

class AdRefreshCoordinator : public std::enable_shared_from_this<AdRefreshCoordinator> {
 public:
  static std::shared_ptr<AdRefreshCoordinator> create(std::weak_ptr<platform::UIView> observedView);
  explicit AdRefreshCoordinator(std::weak_ptr<platform::UIView> observedView);

  // The visibility test: app active, in a window, neither it nor an ancestor hidden, the
  // product of their alphas above 0.01, and the bounds, in window coordinates, overlapping
  // the window's bounds (a view without area counts when it lies within the window).
  static bool isViewVisible(const platform::UIView& view, bool isAppActive);

  bool isVisible() const { return *isVisible_->value(); }
  bool isAppActive() const { return *isAppActive_->value(); }
  // Streams of the two flags: the current value on subscription, then every assignment.
  platform::Publisher<bool> isVisiblePublisher() { return isVisible_->publisher(); }
  platform::Publisher<bool> isAppActivePublisher() { return isAppActive_->publisher(); }

  // The shortest refresh period: a positive interval below it (a backend typo such as
  // 1e-9) counts as this, so that a view never reloads in a busy loop.
  static constexpr double kMinimumRefreshInterval = 1.0;
  // How often a view in a window that does not show is looked at again.
  static constexpr double kVisibilityCheckInterval = 1.0;

  double refreshInterval() const { return refreshInterval_; }
  // Seconds; 0 or less (or not a number) turns refresh off, and a positive value below
  // kMinimumRefreshInterval counts as kMinimumRefreshInterval.
  void setRefreshInterval(double seconds) { refreshInterval_ = seconds; }
  std::function<void()> refreshHandler;

  void evaluateVisibility();
  // Starts a one-shot timer of refreshInterval seconds (at least kMinimumRefreshInterval),
  // unless one is running or the interval is not positive.
  void startRefreshTimer();
  void stopRefreshTimer();
  const std::shared_ptr<platform::Timer>& timer() const { return timer_; }

 private:
  void subscribeToApplication();
  void refreshTimerFired();
  void watchUntilVisible(const platform::UIView& view);

  std::shared_ptr<platform::CurrentValueSubject<bool>> isVisible_;
  std::shared_ptr<platform::CurrentValueSubject<bool>> isAppActive_;
  std::weak_ptr<platform::UIView> observedView_;
  std::shared_ptr<platform::Timer> timer_;
  std::shared_ptr<platform::Timer> visibilityCheck_;
  platform::Subscription didBecomeActive_;
  platform::Subscription didEnterBackground_;
  double refreshInterval_ = 0;
};

}  // namespace tilo
