// UIView's life and its place in the tree: construction, subviews, superview and window.
#include "platform/ui/UIView.h"

#include <algorithm>
#include <atomic>

#include "platform/ui/UIDiagnostics.h"

namespace tilo::platform {
namespace {

std::atomic<std::uint64_t> nextSerial{1};

// Views from `view` down to its deepest leaf, both included; without recursion.
std::size_t levelsBelow(const UIView& view) {
  std::size_t deepest = 0;
  std::vector<std::pair<const UIView*, std::size_t>> stack{{&view, 1}};
  while (!stack.empty()) {
    auto [v, level] = stack.back();
    stack.pop_back();
    deepest = std::max(deepest, level);
    for (const auto& subview : v->subviews()) stack.emplace_back(subview.get(), level + 1);
  }
  return deepest;
}

}  // namespace

std::shared_ptr<UIView> UIView::create(const CGRect& frame) {
  return makeView<UIView>(frame);
}

UIView::UIView(const CGRect& frame) : serial_(nextSerial++) {
  if (frame.isFinite()) {
    frame_ = frame;
    frame_.size.width = std::max(0.0, frame_.size.width);
    frame_.size.height = std::max(0.0, frame_.size.height);
  }
}

UIView::~UIView() {
  // Constraints naming this view go with it. They are deactivated through the raw owner
  // pointers they keep, since weak references to this view no longer lock.
  engine_.reset();
  // Taken out first, so that each deactivation does not search this view's whole list.
  auto constraints = std::move(constraints_);
  constraints_.clear();
  for (auto& constraint : constraints) constraint->setActive(false);
  // Subviews that outlive this view become separate trees: constraints between them go.
  for (auto& subview : subviews_) subview->deactivateConstraintsLeavingSubtree();
  for (auto& subview : subviews_) {
    subview->superview_ = nullptr;
    if (subview->window_) subview->propagateWindow(nullptr);
    subview->treeNeedsLayout_ = true;
  }
}

// Hierarchy

std::shared_ptr<UIView> UIView::superview() const {
  return superview_ ? superview_->weak_from_this().lock() : nullptr;
}

UIView* UIView::rootView() {
  UIView* view = this;
  while (view->superview_) view = view->superview_;
  return view;
}

const UIView* UIView::rootOf() const {
  const UIView* view = this;
  while (view->superview_) view = view->superview_;
  return view;
}

bool UIView::isDescendantOfView(const UIView* view) const {
  for (const UIView* v = this; v; v = v->superview_) {
    if (v == view) return true;
  }
  return false;
}

void UIView::addSubview(const std::shared_ptr<UIView>& view) {
  insertSubview(view, subviews_.size());
}

void UIView::insertSubviewAtIndex(const std::shared_ptr<UIView>& view, std::size_t index) {
  insertSubview(view, index);
}

void UIView::insertSubviewAboveSubview(const std::shared_ptr<UIView>& view, const UIView* sibling) {
  auto it = std::find_if(subviews_.begin(), subviews_.end(),
                         [&](const auto& s) { return s.get() == sibling; });
  insertSubview(view, it == subviews_.end() ? subviews_.size() : (it - subviews_.begin()) + 1);
}

void UIView::insertSubviewBelowSubview(const std::shared_ptr<UIView>& view, const UIView* sibling) {
  auto it = std::find_if(subviews_.begin(), subviews_.end(),
                         [&](const auto& s) { return s.get() == sibling; });
  insertSubview(view, it == subviews_.end() ? subviews_.size() : it - subviews_.begin());
}

void UIView::insertSubview(const std::shared_ptr<UIView>& view, std::size_t index) {
  // A view cannot contain itself or one of its ancestors.
  if (!view || isDescendantOfView(view.get())) return;
  std::shared_ptr<UIView> keep = view;
  if (view->superview_ == this) {
    auto it = std::find(subviews_.begin(), subviews_.end(), view);
    std::size_t from = static_cast<std::size_t>(it - subviews_.begin());
    subviews_.erase(it);
    if (index > from) --index;
    subviews_.insert(
        subviews_.begin() + static_cast<std::ptrdiff_t>(std::min(index, subviews_.size())), keep);
    markTreeNeedsLayout();
    return;
  }
  std::size_t levels = levelsBelow(*view) + 1;  // this view and what goes below it
  for (const UIView* v = this; v->superview_; v = v->superview_) ++levels;
  if (levels > kMaxTreeDepth) {
    UIDiagnostics::report({UIDiagnostic::Kind::limitExceeded,
                           "Unable to add " + view->layoutName() + " to " + layoutName() +
                               ": the tree would be " + std::to_string(levels) +
                               " views deep, more than " + std::to_string(kMaxTreeDepth),
                           {}});
    return;
  }
  UIWindow* newWindow = window_;
  view->willMoveToSuperview(this);
  if (view->window_ != newWindow) {
    // willMoveToWindow on the whole subtree before anything moves.
    std::vector<UIView*> stack{view.get()};
    while (!stack.empty()) {
      UIView* v = stack.back();
      stack.pop_back();
      v->willMoveToWindow(newWindow);
      for (auto& s : v->subviews_) stack.push_back(s.get());
    }
  }
  if (view->superview_) view->detachFromSuperview(true);
  view->engine_.reset();  // the subtree joins this tree's engine
  index = std::min(index, subviews_.size());
  subviews_.insert(subviews_.begin() + static_cast<std::ptrdiff_t>(index), keep);
  view->superview_ = this;
  structureDidChange();
  view->propagateWindow(newWindow);
  view->didMoveToSuperview();
  didAddSubview(view.get());
}

void UIView::detachFromSuperview(bool notify) {
  UIView* parent = superview_;
  if (!parent) return;
  if (notify) parent->willRemoveSubview(this);
  deactivateConstraintsLeavingSubtree();
  parent->structureDidChange();
  auto it = std::find_if(parent->subviews_.begin(), parent->subviews_.end(),
                         [this](const auto& s) { return s.get() == this; });
  std::shared_ptr<UIView> keep;
  if (it != parent->subviews_.end()) {
    keep = *it;
    parent->subviews_.erase(it);
  }
  superview_ = nullptr;
  treeNeedsLayout_ = true;
  needsLayout_ = true;
}

void UIView::removeFromSuperview() {
  if (!superview_) return;
  auto self = shared_from_this();
  superview_->willRemoveSubview(this);
  willMoveToSuperview(nullptr);
  if (window_) {
    std::vector<UIView*> stack{this};
    while (!stack.empty()) {
      UIView* v = stack.back();
      stack.pop_back();
      v->willMoveToWindow(nullptr);
      for (auto& s : v->subviews_) stack.push_back(s.get());
    }
  }
  detachFromSuperview(false);
  propagateWindow(nullptr);
  didMoveToSuperview();
}

void UIView::bringSubviewToFront(const UIView* view) {
  auto it = std::find_if(subviews_.begin(), subviews_.end(),
                         [&](const auto& s) { return s.get() == view; });
  if (it == subviews_.end()) return;
  auto keep = *it;
  subviews_.erase(it);
  subviews_.push_back(keep);
}

void UIView::sendSubviewToBack(const UIView* view) {
  auto it = std::find_if(subviews_.begin(), subviews_.end(),
                         [&](const auto& s) { return s.get() == view; });
  if (it == subviews_.end()) return;
  auto keep = *it;
  subviews_.erase(it);
  subviews_.insert(subviews_.begin(), keep);
}

void UIView::propagateWindow(UIWindow* window) {
  if (window_ == window) return;
  window_ = window;
  didMoveToWindow();
  auto subviews = subviews_;  // a hook may change the tree
  for (auto& subview : subviews) {
    if (subview->superview_ == this) subview->propagateWindow(window);
  }
}

void UIView::deactivateConstraintsLeavingSubtree() {
  std::vector<std::shared_ptr<NSLayoutConstraint>> leaving;
  std::vector<UIView*> stack{this};
  while (!stack.empty()) {
    UIView* v = stack.back();
    stack.pop_back();
    for (auto& constraint : v->constraints_) {
      UIView* a = constraint->firstView();
      UIView* b = constraint->secondView();
      bool inside = (!a || a->isDescendantOfView(this)) && (!b || b->isDescendantOfView(this));
      if (!inside) leaving.push_back(constraint);
    }
    for (auto& s : v->subviews_) stack.push_back(s.get());
  }
  for (auto& constraint : leaving) constraint->setActive(false);
}

void UIView::willMoveToSuperview(UIView*) {}
void UIView::didMoveToSuperview() {}
void UIView::willMoveToWindow(UIWindow*) {}
void UIView::didMoveToWindow() {}
void UIView::didAddSubview(UIView*) {}
void UIView::willRemoveSubview(UIView*) {}
void UIView::subviewHiddenDidChange(UIView&) {}
void UIView::subviewIntrinsicSizeDidChange(UIView&) {}
bool UIView::updateIntrinsicSizeForLayoutWidth(double) {
  return false;
}

}  // namespace tilo::platform
