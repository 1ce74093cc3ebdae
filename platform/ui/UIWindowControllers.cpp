// The window's side of its controllers: the root it installs, the controller views it
// keeps at its size, and the presentations that end when it closes. Kept out of UIWindow.cpp, which
// controllers build on to present.
#include "platform/ui/UIViewController.h"
#include "platform/ui/UIWindow.h"

namespace tilo::platform {

void UIWindow::setRootViewController(std::shared_ptr<UIViewController> controller) {
  if (controller == root_) return;
  if (root_ && root_->viewIfLoaded() && root_->viewIfLoaded()->superview().get() == this) {
    root_->viewIfLoaded()->removeFromSuperview();
  }
  root_ = std::move(controller);
  if (!root_) return;
  auto view = root_->view();
  view->setFrame(bounds());
  insertSubviewAtIndex(view, 0);
}

namespace {

// The topmost controller presented in `window`: presented views are the window's own
// subviews, above its root's.
std::shared_ptr<UIViewController> topmostPresented(const UIWindow& window) {
  const auto& views = window.subviews();
  for (auto it = views.rbegin(); it != views.rend(); ++it) {
    UIViewController* controller = (*it)->viewController();
    if (controller && controller->presentingViewController()) return controller->shared_from_this();
  }
  return nullptr;
}

}  // namespace

void UIWindow::close() {
  if (isClosed()) return;
  auto self = shared_from_this();  // observers and completions may drop the last owner
  closed_->send(true);
  // Each round takes at least one view out of the window (nothing new can be presented
  // in it now), so there are no more rounds than subviews.
  for (std::size_t round = subviews().size(); round > 0; --round) {
    auto top = topmostPresented(*this);
    if (!top) break;
    auto presenter = top->presentingViewController();
    // A dismissal is refused while a transition runs: end it first (its completion runs).
    presenter->finishTransitionNow();
    top->finishTransitionNow();
    if (top->presentingViewController() != presenter) continue;  // a completion dismissed it
    presenter->dismissViewController(false);
    if (top->presentingViewController()) break;  // refused: nothing more to do
  }
}

void UIWindow::layoutSubviews() {
  UIView::layoutSubviews();
  // Controller views fill the window.
  for (auto controller = root_; controller; controller = controller->presentedViewController()) {
    if (auto view = controller->viewIfLoaded(); view && view->superview().get() == this) {
      view->setFrame(bounds());
    }
  }
}

}  // namespace tilo::platform
