#include "mediation/ImpressionWatcher.h"

#include "platform/Application.h"
#include "platform/ui/UIWindow.h"

namespace tilo::mediation {

bool isViewOnScreenForImpression(const platform::UIView& view) {
  if (platform::Application::shared().state() != platform::ApplicationState::active) return false;
  auto window = view.window();
  if (!window) return false;
  for (auto current = view.shared_from_this(); current && current.get() != window.get();
       current = current->superview()) {
    if (current->isHidden() || !(current->alpha() > 0.01)) return false;
  }
  const platform::CGRect inWindow = view.convertRect(view.bounds(), window.get());
  const platform::CGRect shown = inWindow.intersection(window->bounds());
  const double area = inWindow.width() * inWindow.height();
  return area > 0 && shown.width() * shown.height() >= area / 2;
}

void ImpressionWatcher::start(std::weak_ptr<platform::UIView> view, std::function<void()> seen,
                              bool checkAtOnce) {
  stop(*state_);
  state_->view = std::move(view);
  state_->seen = std::move(seen);
  if (checkAtOnce && check(state_, true)) return;
  std::weak_ptr<State> weak = state_;
  state_->timer = platform::Timer::scheduled(kCheckInterval, true, [weak] {
    if (auto state = weak.lock()) check(state, true);
  });
}

bool ImpressionWatcher::checkNow() {
  return check(state_, false);
}

void ImpressionWatcher::stop() {
  stop(*state_);
}

bool ImpressionWatcher::check(const std::shared_ptr<State>& state, bool layOut) {
  auto view = state->view.lock();
  if (!state->seen || !view) return false;
  if (layOut) {
    if (auto window = view->window()) window->layoutIfNeeded();
    if (!state->seen) return false;  // layout hooks may have ended the watch
  }
  if (!isViewOnScreenForImpression(*view)) return false;
  auto seen = std::move(state->seen);
  stop(*state);
  seen();
  return true;
}

void ImpressionWatcher::stop(State& state) {
  state.seen = nullptr;
  if (state.timer) state.timer->invalidate();
  state.timer.reset();
}

}  // namespace tilo::mediation
