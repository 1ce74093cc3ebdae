#include "platform/ui/LayoutEngine.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/UIDiagnostics.h"
#include "platform/ui/UILayoutGuide.h"
#include "platform/ui/UIView.h"
#include "platform/ui/UIWindow.h"

namespace tilo::platform {

double strengthForPriority(UILayoutPriority priority) {
  if (!(priority < UILayoutPriorityRequired)) return solver::strength::required;
  double p = std::clamp(static_cast<double>(priority), 1.0, 999.999);
  return std::pow(10.0, 8.0 * (p - 1.0) / 999.0);
}

bool LayoutEngine::isWindow(const UIView& view) {
  return static_cast<const UIView*>(view.windowPointer()) == &view;
}

LayoutEngine::LayoutEngine(UIView& root) : root_(root) {}

LayoutEngine::~LayoutEngine() = default;

void LayoutEngine::invalidate() {
  valid_ = false;
  dirty_ = true;
}

void LayoutEngine::constraintActivated(NSLayoutConstraint& constraint) {
  if (!valid_) return;
  auto first = constraint.first_.lock();
  auto second = constraint.second_.lock();
  if (!first || !isMember(first.get()) || (second && !isMember(second.get()))) {
    invalidate();  // new members: rebuild
    return;
  }
  addUser(constraint);
  dirty_ = true;
}

void LayoutEngine::constraintDeactivated(NSLayoutConstraint& constraint) {
  if (!valid_) return;
  dirty_ = true;
  auto found = installed_.find(&constraint);
  if (found != installed_.end()) {
    solver_.removeConstraint(found->second);
    owners_.erase(found->second);
    installed_.erase(found);
    retryDropped();
    return;
  }
  dropped_.erase(std::remove_if(dropped_.begin(), dropped_.end(),
                                [&](const auto& c) { return c.get() == &constraint; }),
                 dropped_.end());
}

void LayoutEngine::constraintChanged(NSLayoutConstraint& constraint) {
  if (!valid_) return;
  dirty_ = true;
  auto found = installed_.find(&constraint);
  if (found != installed_.end()) {
    solver_.removeConstraint(found->second);
    owners_.erase(found->second);
    installed_.erase(found);
    addUser(constraint);
    retryDropped();
    return;
  }
  auto it = std::find_if(dropped_.begin(), dropped_.end(),
                         [&](const auto& c) { return c.get() == &constraint; });
  if (it != dropped_.end()) {
    auto keep = *it;
    dropped_.erase(it);
    addUser(constraint);
  }
}

void LayoutEngine::frameChanged(UIView& view) {
  if (!valid_) return;
  if (!records_.count(&view)) return;  // nothing in the solver depends on it
  pendingFrames_.insert(&view);
  dirty_ = true;
}

void LayoutEngine::intrinsicSizeChanged(UIView& view) {
  if (!valid_) return;
  if (!records_.count(&view)) return;
  pendingContent_.insert(&view);
  dirty_ = true;
}

void LayoutEngine::solve() {
  if (solving_ || !needsSolve()) return;
  solving_ = true;
  try {
    if (valid_) applyPending();
    if (!valid_) rebuild();
    for (int pass = 1;; ++pass) {
      solver_.updateVariables();
      if (pass >= maxPasses || !refreshDependents()) break;
      applyPending();
      if (!valid_) rebuild();
    }
    writeFrames();
  } catch (...) {
    // A view's measurement threw (no fonts installed): start over next time.
    solving_ = rebuilding_ = false;
    invalidate();
    throw;
  }
  dirty_ = false;
  solving_ = false;
}

std::vector<std::shared_ptr<NSLayoutConstraint>> LayoutEngine::droppedConstraints() const {
  return dropped_;
}

void LayoutEngine::rebuild() {
  rebuilding_ = true;
  solver_.reset();
  records_.clear();
  memberViews_.clear();
  installed_.clear();
  owners_.clear();
  internals_.clear();
  pendingFrames_.clear();
  pendingContent_.clear();
  dropped_.clear();
  valid_ = true;  // from here on, a failure invalidates again

  std::vector<UIView*> views;  // pre-order: parents before children
  std::vector<UIView*> stack{&root_};
  while (!stack.empty()) {
    UIView* view = stack.back();
    stack.pop_back();
    views.push_back(view);
    for (auto it = view->subviews_.rbegin(); it != view->subviews_.rend(); ++it) {
      stack.push_back(it->get());
    }
  }
  std::vector<NSLayoutConstraint*> constraints;
  std::unordered_set<const NSLayoutConstraint*> seen;
  std::unordered_set<const LayoutItem*> referenced;
  for (UIView* view : views) {
    for (auto& constraint : view->constraints_) {
      if (!seen.insert(constraint.get()).second) continue;
      auto first = constraint->first_.lock();
      auto second = constraint->second_.lock();
      if (!first || (constraint->hasSecond_ && !second)) continue;
      constraints.push_back(constraint.get());
      referenced.insert(first.get());
      if (second) referenced.insert(second.get());
    }
  }
  if (views.size() > UIView::kMaxLayoutViews ||
      constraints.size() > UIView::kMaxLayoutConstraints) {
    UIDiagnostics::report(
        {UIDiagnostic::Kind::limitExceeded,
         "Unable to lay out " + root_.layoutName() + ": " + std::to_string(views.size()) +
             " views and " + std::to_string(constraints.size()) +
             " constraints, more than the limit of " + std::to_string(UIView::kMaxLayoutViews) +
             " views and " + std::to_string(UIView::kMaxLayoutConstraints) + " constraints",
         {}});
    rebuilding_ = false;
    return;  // no members: nothing is solved or written
  }
  std::sort(constraints.begin(), constraints.end(),
            [](const auto* a, const auto* b) { return a->activationOrder_ < b->activationOrder_; });

  // Members: the root, views laid out by constraints, referenced items, and the
  // ancestors of all of these (their positions chain up to the root).
  std::unordered_set<const UIView*> members;
  for (auto it = views.rbegin(); it != views.rend(); ++it) {
    UIView* view = *it;
    bool member = view == &root_ || !view->translatesMask_ || referenced.count(view) ||
                  (view->safeAreaGuide_ && referenced.count(view->safeAreaGuide_.get()));
    for (std::size_t i = 0; !member && i < view->subviews_.size(); ++i) {
      member = members.count(view->subviews_[i].get()) != 0;
    }
    if (member) members.insert(view);
  }
  std::vector<UILayoutGuide*> guides;
  for (UIView* view : views) {
    if (!members.count(view)) continue;
    memberViews_.push_back(view);
    records_[view].view = view;
    if (view->safeAreaGuide_ && referenced.count(view->safeAreaGuide_.get())) {
      records_[view->safeAreaGuide_.get()].guide = view->safeAreaGuide_.get();
      guides.push_back(view->safeAreaGuide_.get());
    }
  }
  for (UIView* view : memberViews_) {
    Record& record = records_[view];
    if (view == &root_ || view->translatesMask_) addFrameConstraints(record);
    if (!view->translatesMask_) addContentConstraints(record);
  }
  for (UILayoutGuide* guide : guides) {
    addGuideConstraints(records_[guide], guideInsets(*guide, false));
  }
  for (NSLayoutConstraint* constraint : constraints) addUser(*constraint);
  dirty_ = true;
  rebuilding_ = false;
}

void LayoutEngine::applyPending() {
  auto frames = std::move(pendingFrames_);
  pendingFrames_.clear();
  for (UIView* view : frames) {
    auto found = records_.find(view);
    if (found == records_.end()) continue;
    if (view == &root_ || view->translatesMask_) addFrameConstraints(found->second);
    if (!valid_) return;
  }
  auto content = std::move(pendingContent_);
  pendingContent_.clear();
  for (UIView* view : content) {
    auto found = records_.find(view);
    if (found == records_.end() || view->translatesMask_) continue;
    addContentConstraints(found->second);
    if (!valid_) return;
  }
}

bool LayoutEngine::refreshDependents() {
  bool changed = false;
  for (UIView* view : memberViews_) {
    if (view->translatesMask_ || !view->hasWidthDependentIntrinsicSize()) continue;
    double width = view->layoutVariables().width.value();
    if (view->updateIntrinsicSizeForLayoutWidth(width)) {
      pendingContent_.insert(view);
      changed = true;
    }
  }
  for (auto& [item, record] : records_) {
    if (!record.guide) continue;
    UIEdgeInsets insets = guideInsets(*record.guide, true);
    if (insets != record.insets) {
      addGuideConstraints(record, insets);
      changed = true;
    }
  }
  return changed;
}

void LayoutEngine::writeFrames() {
  double scale = isWindow(root_) ? static_cast<UIWindow&>(root_).scale() : 0;
  // Edges snap to the window's pixel grid, as the platform does; without a window, away
  // from floating-point noise.
  auto snap = [scale](double value) {
    double grid = scale > 0 ? scale : 1e6;
    double snapped = std::round(value * grid) / grid;
    return snapped == 0 ? 0.0 : snapped;
  };
  for (UIView* view : memberViews_) {
    bool isRoot = view == &root_;
    if (isRoot ? (view->translatesMask_ || isWindow(*view)) : view->translatesMask_) continue;
    const auto& v = view->layoutVariables();
    double left = v.left.value(), top = v.top.value();
    double right = left + v.width.value(), bottom = top + v.height.value();
    if (!std::isfinite(left) || !std::isfinite(top) || !std::isfinite(right) ||
        !std::isfinite(bottom)) {
      continue;
    }
    double width = std::max(0.0, snap(right) - snap(left));
    double height = std::max(0.0, snap(bottom) - snap(top));
    CGRect frame;
    if (isRoot) {
      frame = {view->frame_.origin, {width, height}};
    } else {
      UIView* superview = view->superview_;
      const auto& s = superview->layoutVariables();
      frame = {snap(left) - snap(s.left.value()) + superview->boundsOrigin_.x,
               snap(top) - snap(s.top.value()) + superview->boundsOrigin_.y, width, height};
    }
    view->setFrameFromEngine(frame);
  }
}

}  // namespace tilo::platform
