#include "platform/ui/UIViewController.h"

#include <algorithm>
#include <utility>

#include "platform/Environment.h"
#include "platform/Timer.h"
#include "platform/ui/UIDiagnostics.h"
#include "platform/ui/UIView.h"
#include "platform/ui/UIWindow.h"

namespace tilo::platform {
namespace {

void refuse(const std::string& message) {
  UIDiagnostics::report({UIDiagnostic::Kind::presentation, message, {}});
}

double uptimeNow() {
  return Environment::current().clock().uptime();
}

}  // namespace

UIViewController::UIViewController(std::string title) : title_(std::move(title)) {}

UIViewController::~UIViewController() {
  if (view_ && view_->viewController_ == this) view_->viewController_ = nullptr;
}

std::string UIViewController::debugName() const {
  return title_.empty() ? "<UIViewController>" : "<UIViewController '" + title_ + "'>";
}

std::shared_ptr<UIView> UIViewController::view() {
  if (!view_) {
    loadView();
    if (!view_) setView(UIView::create());
    viewDidLoad();
  }
  return view_;
}

void UIViewController::setView(std::shared_ptr<UIView> view) {
  if (view_ && view_->viewController_ == this) view_->viewController_ = nullptr;
  view_ = std::move(view);
  if (view_) view_->viewController_ = this;
}

void UIViewController::loadView() {
  setView(UIView::create());
}

bool UIViewController::removesPresenterView() const {
  return presentationStyle_ == UIModalPresentationStyle::fullScreen ||
         presentationStyle_ == UIModalPresentationStyle::currentContext;
}

void UIViewController::schedule(bool animated, std::function<void()> step) {
  if (animated) {
    pendingStep_ = std::move(step);
    std::weak_ptr<UIViewController> weak = weak_from_this();
    transitionTimer_ = Timer::scheduled(transitionDuration, false, [weak] {
      if (auto self = weak.lock()) self->runPendingStep();
    });
  } else {
    transitionTimer_.reset();
    pendingStep_ = nullptr;
    postToMain(std::move(step));
  }
}

void UIViewController::runPendingStep() {
  if (auto step = std::exchange(pendingStep_, nullptr)) step();
}

void UIViewController::finishTransitionNow() {
  if (transition_ == Transition::none) return;
  auto self = shared_from_this();
  if (transitionTimer_) transitionTimer_->invalidate();
  runPendingStep();
}

void UIViewController::presentViewController(std::shared_ptr<UIViewController> controller,
                                             bool animated, std::function<void()> completion) {
  if (!controller) return refuse("Attempt to present no view controller on " + debugName());
  std::string what = controller->debugName() + " on " + debugName();
  if (controller.get() == this || !controller->presenting_.expired() ||
      (controller->view_ && controller->view_->windowPointer())) {
    return refuse("Attempt to present " + what + ", which is already presented");
  }
  if (presented_) {
    return refuse("Attempt to present " + what + " which is already presenting " +
                  presented_->debugName());
  }
  if (transition_ != Transition::none) {
    return refuse("Attempt to present " + what + " while a presentation is in progress");
  }
  auto window = view_ ? view_->window() : nullptr;
  if (!window || window->isClosed()) {
    return refuse("Attempt to present " + what + " whose view is not in the window hierarchy");
  }
  presented_ = controller;
  controller->presenting_ = weak_from_this();
  auto view = controller->view();
  view->setFrame(window->bounds());
  controller->viewWillAppear(animated);
  window->addSubview(view);
  if (animated) {
    controller->transition_ = Transition::presenting;
    controller->transitionStart_ = uptimeNow();
    controller->transitionAnimated_ = true;
    std::weak_ptr<UIViewController> weak = controller;
    controller->schedule(true, [weak, completion = std::move(completion)] {
      if (auto presented = weak.lock()) presented->finishPresentation(true, completion);
    });
  } else {
    controller->finishPresentation(false, nullptr);
    if (completion) postToMain(std::move(completion));
  }
}

void UIViewController::finishPresentation(bool animated, std::function<void()> completion) {
  auto self = shared_from_this();
  transition_ = Transition::none;
  transitionTimer_.reset();
  auto presenter = presenting_.lock();
  if (removesPresenterView() && presenter && presenter->view_ &&
      presenter->view_->windowPointer()) {
    hiddenPresenterView_ = presenter->view_;
    presenter->viewWillDisappear(animated);
    presenter->view_->removeFromSuperview();
    presenter->viewDidDisappear(animated);
  }
  viewDidAppear(animated);
  if (completion) completion();
}

void UIViewController::dismissViewController(bool animated, std::function<void()> completion) {
  auto presenter = presented_ ? shared_from_this() : presenting_.lock();
  if (!presenter)
    return refuse("Attempt to dismiss from " + debugName() + ", which presents nothing");
  auto target = presenter->presented_;
  if (target->transition_ != Transition::none || presenter->transition_ != Transition::none) {
    return refuse("Attempt to dismiss " + target->debugName() +
                  " while a presentation or dismissal is in progress");
  }
  auto window = target->view_ ? target->view_->window() : nullptr;
  // Whatever the target presents goes at once, topmost first.
  std::vector<std::shared_ptr<UIViewController>> above;
  for (auto c = target->presented_; c; c = c->presented_) above.push_back(c);
  for (auto it = above.rbegin(); it != above.rend(); ++it) {
    auto& controller = *it;
    controller->transitionTimer_.reset();
    controller->pendingStep_ = nullptr;
    controller->transition_ = Transition::none;
    controller->beingDismissed_ = true;
    controller->viewWillDisappear(false);
    if (controller->view_) controller->view_->removeFromSuperview();
    controller->viewDidDisappear(false);
    controller->beingDismissed_ = false;
    if (auto p = controller->presenting_.lock()) p->presented_.reset();
    controller->presenting_.reset();
  }
  target->beingDismissed_ = true;
  target->viewWillDisappear(animated);
  if (auto hidden = target->hiddenPresenterView_.lock()) {
    if (window && !hidden->windowPointer()) {
      presenter->viewWillAppear(animated);
      window->insertSubviewBelowSubview(hidden, target->view_.get());
      hidden->setFrame(window->bounds());
    }
    target->hiddenPresenterView_.reset();
  }
  if (animated) {
    target->transition_ = Transition::dismissing;
    target->transitionStart_ = uptimeNow();
    target->transitionAnimated_ = true;
    std::weak_ptr<UIViewController> weak = target;
    target->schedule(true, [weak, completion = std::move(completion)] {
      if (auto dismissed = weak.lock()) dismissed->finishDismissal(true, completion);
    });
  } else {
    target->finishDismissal(false, nullptr);
    if (completion) postToMain(std::move(completion));
  }
}

void UIViewController::finishDismissal(bool animated, std::function<void()> completion) {
  auto self = shared_from_this();
  transition_ = Transition::none;
  transitionTimer_.reset();
  if (view_) view_->removeFromSuperview();
  auto presenter = presenting_.lock();
  if (presenter && presenter->presented_ == self) {
    presenter->presented_.reset();
    if (presenter->view_ && presenter->view_->windowPointer() && removesPresenterView()) {
      presenter->viewDidAppear(animated);
    }
  }
  presenting_.reset();
  viewDidDisappear(animated);
  beingDismissed_ = false;
  if (completion) completion();
}

UIViewController::TransitionAppearance UIViewController::transitionAppearance(double uptime) const {
  if (transition_ == Transition::none || !transitionAnimated_) return {};
  double t = std::clamp((uptime - transitionStart_) / transitionDuration, 0.0, 1.0);
  double eased = t * t * (3 - 2 * t);
  double shown = transition_ == Transition::presenting ? eased : 1 - eased;
  if (transitionStyle_ == UIModalTransitionStyle::coverVertical) {
    double height = view_ ? view_->frame().height() : 0;
    return {1, (1 - shown) * height};
  }
  return {shown, 0};
}

}  // namespace tilo::platform
