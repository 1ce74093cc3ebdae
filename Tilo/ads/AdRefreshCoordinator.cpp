#include "Tilo/ads/AdRefreshCoordinator.h"

#include <algorithm>
#include <cmath>

#include "platform/Application.h"
#include "platform/NotificationCenter.h"
#include "platform/ui/UIView.h"
#include "platform/ui/UIWindow.h"

namespace tilo {

using platform::Application;
using platform::ApplicationState;
using platform::NotificationCenter;

std::shared_ptr<AdRefreshCoordinator> AdRefreshCoordinator::create(
    std::weak_ptr<platform::UIView> observedView) {
  auto coordinator = std::make_shared<AdRefreshCoordinator>(std::move(observedView));
  coordinator->subscribeToApplication();
  return coordinator;
}

AdRefreshCoordinator::AdRefreshCoordinator(std::weak_ptr<platform::UIView> observedView)
    : isVisible_(platform::CurrentValueSubject<bool>::create(false)),
      isAppActive_(platform::CurrentValueSubject<bool>::create(Application::shared().state() ==
                                                               ApplicationState::active)),
      observedView_(std::move(observedView)) {}

void AdRefreshCoordinator::subscribeToApplication() {
  std::weak_ptr<AdRefreshCoordinator> weak = weak_from_this();
  auto& center = NotificationCenter::defaultCenter();
  didBecomeActive_ = center.addObserver(platform::kDidBecomeActiveNotification, [weak] {
    auto self = weak.lock();
    if (!self) return;
    self->isAppActive_->send(true);
    self->evaluateVisibility();
  });
  didEnterBackground_ = center.addObserver(platform::kDidEnterBackgroundNotification, [weak] {
    auto self = weak.lock();
    if (!self) return;
    self->isAppActive_->send(false);
    self->stopRefreshTimer();
    self->visibilityCheck_.reset();
  });
}

bool AdRefreshCoordinator::isViewVisible(const platform::UIView& view, bool isAppActive) {
  if (!isAppActive) return false;
  auto window = view.window();
  if (!window) return false;
  double alpha = 1;
  std::shared_ptr<platform::UIView> ancestor;
  for (const platform::UIView* v = &view; v; v = ancestor.get()) {
    if (v->isHidden()) return false;
    alpha *= v->alpha();
    ancestor = v->superview();
  }
  if (!(alpha > 0.01)) return false;
  const platform::CGRect frame = view.convertRect(view.bounds(), window.get());
  const platform::CGRect screen = window->bounds();
  // A view not laid out yet has no area; like the platform's rectangle test, it counts
  // when it lies within the window. Otherwise the overlap must have an area.
  if (frame.isEmpty()) {
    return frame.minX() >= screen.minX() && frame.minX() <= screen.maxX() &&
           frame.minY() >= screen.minY() && frame.minY() <= screen.maxY();
  }
  return frame.intersects(screen);
}

void AdRefreshCoordinator::evaluateVisibility() {
  auto view = observedView_.lock();
  if (!view) return;
  const bool visible = isViewVisible(*view, isAppActive());
  isVisible_->send(visible);
  if (visible) {
    visibilityCheck_.reset();
    startRefreshTimer();
  } else {
    stopRefreshTimer();
    watchUntilVisible(*view);
  }
}

void AdRefreshCoordinator::watchUntilVisible(const platform::UIView& view) {
  if (visibilityCheck_ || !isAppActive() || !view.window()) return;
  std::weak_ptr<AdRefreshCoordinator> weak = weak_from_this();
  visibilityCheck_ = platform::Timer::scheduled(kVisibilityCheckInterval, false, [weak] {
    auto self = weak.lock();
    if (!self) return;
    auto fired = std::move(self->visibilityCheck_);
    self->evaluateVisibility();
  });
}

void AdRefreshCoordinator::startRefreshTimer() {
  if (timer_ || !(refreshInterval_ > 0) || !std::isfinite(refreshInterval_)) return;
  const double interval = std::max(refreshInterval_, kMinimumRefreshInterval);
  std::weak_ptr<AdRefreshCoordinator> weak = weak_from_this();
  timer_ = platform::Timer::scheduled(interval, false, [weak] {
    if (auto self = weak.lock()) self->refreshTimerFired();
  });
}

void AdRefreshCoordinator::refreshTimerFired() {
  // Cleared first: the handler may start the next timer.
  auto fired = std::move(timer_);
  if (Application::shared().state() != ApplicationState::active) return;
  // An ancestor may have hidden the view since it was last looked at.
  if (auto view = observedView_.lock(); view && !isViewVisible(*view, isAppActive())) {
    evaluateVisibility();
    return;
  }
  if (refreshHandler) {
    auto handler = refreshHandler;
    handler();
  }
}

void AdRefreshCoordinator::stopRefreshTimer() {
  if (timer_) timer_->invalidate();
  timer_.reset();
}

}  // namespace tilo
