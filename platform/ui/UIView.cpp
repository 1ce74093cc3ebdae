#include "platform/ui/UIView.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <unordered_set>

#include "platform/ui/DrawContext.h"
#include "platform/ui/LayoutEngine.h"
#include "platform/ui/UIDiagnostics.h"
#include "platform/ui/UIWindow.h"

namespace tilo::platform {
namespace {

std::atomic<std::uint64_t> nextSerial{1};

constexpr int kMaxLayoutIterations = 10;

int axisIndex(UILayoutConstraintAxis axis) {
  return axis == UILayoutConstraintAxis::horizontal ? 0 : 1;
}

UILayoutPriority clippedPriority(UILayoutPriority priority) {
  return std::clamp(priority, 1.0f, 1000.0f);
}

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

std::shared_ptr<UIWindow> UIView::window() const {
  if (!window_) return nullptr;
  return std::static_pointer_cast<UIWindow>(static_cast<UIView*>(window_)->weak_from_this().lock());
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

void UIView::structureDidChange() {
  UIView* root = rootView();
  if (root->engine_) root->engine_->invalidate();
  root->treeNeedsLayout_ = true;
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

// Geometry

void UIView::setFrame(const CGRect& frame) {
  if (!frame.isFinite()) {
    UIDiagnostics::report({UIDiagnostic::Kind::invalidValue,
                           "frame of " + layoutName() + " with a non-finite number ignored",
                           {}});
    return;
  }
  CGRect old = frame_;
  frame_ = frame;
  frame_.size.width = std::max(0.0, frame_.size.width);
  frame_.size.height = std::max(0.0, frame_.size.height);
  frameDidChange(old, false);
}

void UIView::setFrameFromEngine(const CGRect& frame) {
  CGRect old = frame_;
  frame_ = frame;
  frameDidChange(old, true);
}

void UIView::setBounds(const CGRect& bounds) {
  if (!bounds.isFinite()) {
    UIDiagnostics::report({UIDiagnostic::Kind::invalidValue,
                           "bounds of " + layoutName() + " with a non-finite number ignored",
                           {}});
    return;
  }
  CGPoint centre = center();
  CGSize size{std::max(0.0, bounds.width()), std::max(0.0, bounds.height())};
  if (bounds.origin != boundsOrigin_) {
    boundsOrigin_ = bounds.origin;
    structureDidChange();  // every subview moved in the root's coordinates
  }
  setFrame({centre.x - size.width / 2, centre.y - size.height / 2, size.width, size.height});
}

void UIView::setCenter(const CGPoint& centre) {
  setFrame({centre.x - frame_.width() / 2, centre.y - frame_.height() / 2, frame_.width(),
            frame_.height()});
}

void UIView::frameDidChange(const CGRect& old, bool fromEngine) {
  if (old == frame_) return;
  if (old.size != frame_.size) setNeedsLayout();
  if (!fromEngine) {
    UIView* root = rootView();
    if (root->engine_) root->engine_->frameChanged(*this);
    root->treeNeedsLayout_ = true;
  }
}

// Appearance

void UIView::setHidden(bool hidden) {
  if (hidden_ == hidden) return;
  hidden_ = hidden;
  if (superview_) superview_->subviewHiddenDidChange(*this);
}

void UIView::setAlpha(double alpha) {
  if (std::isnan(alpha)) {
    UIDiagnostics::report(
        {UIDiagnostic::Kind::invalidValue, "alpha NaN of " + layoutName() + " ignored", {}});
    return;
  }
  alpha_ = std::clamp(alpha, 0.0, 1.0);
}

UIColor UIView::tintColor() const {
  for (const UIView* v = this; v; v = v->superview_) {
    if (v->tintColor_) return *v->tintColor_;
  }
  return UIColor::systemBlueColor();
}

void UIView::setTintColor(std::optional<UIColor> color) {
  tintColor_ = std::move(color);
}

void UIView::setAccessibilityIdentifier(std::string identifier) {
  accessibilityIdentifier_ = std::move(identifier);
}

UIUserInterfaceStyle UIView::effectiveAppearance() const {
  return window_ ? window_->appearance() : UIUserInterfaceStyle::light;
}

std::string UIView::layoutName() const {
  if (!accessibilityIdentifier_.empty()) return accessibilityIdentifier_;
  return std::string(className()) + "#" + std::to_string(serial_);
}

// Layout

void UIView::setTranslatesAutoresizingMaskIntoConstraints(bool translates) {
  if (translatesMask_ == translates) return;
  translatesMask_ = translates;
  structureDidChange();
}

void UIView::markTreeNeedsLayout() {
  rootView()->treeNeedsLayout_ = true;
}

void UIView::setNeedsLayout() {
  needsLayout_ = true;
  markTreeNeedsLayout();
}

void UIView::setNeedsUpdateConstraints() {
  needsUpdateConstraints_ = true;
  markTreeNeedsLayout();
}

void UIView::invalidateIntrinsicContentSize() {
  UIView* root = rootView();
  if (root->engine_) root->engine_->intrinsicSizeChanged(*this);
  root->treeNeedsLayout_ = true;
  if (superview_) superview_->subviewIntrinsicSizeDidChange(*this);
}

CGSize UIView::sizeThatFits(const CGSize&) const {
  return frame_.size;
}

void UIView::sizeToFit() {
  CGSize size = sizeThatFits(frame_.size);
  setFrame({frame_.origin, size});
}

UILayoutPriority UIView::contentHuggingPriority(UILayoutConstraintAxis axis) const {
  return hugging_[axisIndex(axis)];
}

void UIView::setContentHuggingPriority(UILayoutPriority priority, UILayoutConstraintAxis axis) {
  if (std::isnan(priority)) return;
  hugging_[axisIndex(axis)] = clippedPriority(priority);
  invalidateIntrinsicContentSize();
}

UILayoutPriority UIView::contentCompressionResistancePriority(UILayoutConstraintAxis axis) const {
  return compression_[axisIndex(axis)];
}

void UIView::setContentCompressionResistancePriority(UILayoutPriority priority,
                                                     UILayoutConstraintAxis axis) {
  if (std::isnan(priority)) return;
  compression_[axisIndex(axis)] = clippedPriority(priority);
  invalidateIntrinsicContentSize();
}

std::shared_ptr<UILayoutGuide> UIView::safeAreaLayoutGuide() {
  if (!safeAreaGuide_) safeAreaGuide_ = std::make_unique<UILayoutGuide>(*this);
  auto self = weak_from_this().lock();
  if (!self) return nullptr;
  return std::shared_ptr<UILayoutGuide>(self, safeAreaGuide_.get());
}

UIEdgeInsets UIView::safeAreaInsets() const {
  if (window_ == static_cast<const UIView*>(this)) return window_->windowSafeAreaInsets();
  if (!window_) return {};
  UIEdgeInsets window = window_->windowSafeAreaInsets();
  CGRect inWindow = convertRect(bounds(), nullptr);
  CGSize size = window_->frame().size;
  auto reach = [](double inset, double extent) {
    return std::clamp(inset, 0.0, std::max(0.0, extent));
  };
  return {reach(window.top - inWindow.minY(), frame_.height()),
          reach(window.left - inWindow.minX(), frame_.width()),
          reach(inWindow.maxY() - (size.height - window.bottom), frame_.height()),
          reach(inWindow.maxX() - (size.width - window.right), frame_.width())};
}

LayoutEngine* UIView::engineIfBuilt() {
  return rootView()->engine_.get();
}

LayoutEngine& UIView::engine() {
  UIView* root = rootView();
  if (!root->engine_) root->engine_ = std::make_unique<LayoutEngine>(*root);
  return *root->engine_;
}

std::vector<std::shared_ptr<NSLayoutConstraint>> UIView::droppedConstraints() {
  LayoutEngine* engine = engineIfBuilt();
  return engine ? engine->droppedConstraints() : std::vector<std::shared_ptr<NSLayoutConstraint>>{};
}

void UIView::layoutIfNeeded() {
  rootView()->performLayout();
}

void UIView::performLayout() {
  if (inLayout_) return;  // layoutSubviews asked again; this loop will see it
  auto self = weak_from_this().lock();
  inLayout_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{inLayout_};
  bool settled = false;
  for (int iteration = 0; iteration < kMaxLayoutIterations; ++iteration) {
    bool engineWork = !engine_ || engine_->needsSolve();
    if (!treeNeedsLayout_ && !engineWork) {
      settled = true;
      break;
    }
    treeNeedsLayout_ = false;
    // Views (re)make their constraints first, parents before children.
    std::vector<UIView*> stack{this};
    while (!stack.empty()) {
      UIView* v = stack.back();
      stack.pop_back();
      if (v->needsUpdateConstraints_) {
        v->needsUpdateConstraints_ = false;
        v->updateConstraints();
      }
      for (auto it = v->subviews_.rbegin(); it != v->subviews_.rend(); ++it) {
        stack.push_back(it->get());
      }
    }
    engine().solve();
    bool any = false;
    layoutPass(any);
  }
  if (!settled && (treeNeedsLayout_ || (engine_ && engine_->needsSolve()))) {
    UIDiagnostics::report({UIDiagnostic::Kind::layout,
                           "layout of " + layoutName() + " did not settle after " +
                               std::to_string(kMaxLayoutIterations) + " passes",
                           {}});
  }
}

void UIView::layoutPass(bool& anyLaidOut) {
  if (needsLayout_) {
    needsLayout_ = false;
    anyLaidOut = true;
    layoutSubviews();
  }
  auto subviews = subviews_;
  for (auto& subview : subviews) {
    if (subview->superview_ == this) subview->layoutPass(anyLaidOut);
  }
}

// Coordinates

CGPoint UIView::pointToRoot(const CGPoint& point) const {
  CGPoint p = point;
  for (const UIView* v = this; v->superview_; v = v->superview_) {
    p = p - v->boundsOrigin_ + v->frame_.origin;
  }
  return p;
}

CGPoint UIView::pointFromRoot(const CGPoint& point) const {
  std::vector<const UIView*> chain;
  for (const UIView* v = this; v->superview_; v = v->superview_) chain.push_back(v);
  CGPoint p = point;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    p = p - (*it)->frame_.origin + (*it)->boundsOrigin_;
  }
  return p;
}

CGPoint UIView::convertPointToView(const CGPoint& point, const UIView* view) const {
  CGPoint inRoot = pointToRoot(point);
  return view ? view->pointFromRoot(inRoot) : inRoot;
}

CGPoint UIView::convertPointFromView(const CGPoint& point, const UIView* view) const {
  CGPoint inRoot = view ? view->pointToRoot(point) : point;
  return pointFromRoot(inRoot);
}

CGRect UIView::convertRect(const CGRect& rect, const UIView* toView) const {
  return {convertPointToView(rect.origin, toView), rect.size};
}

CGRect UIView::convertRectFromView(const CGRect& rect, const UIView* fromView) const {
  return {convertPointFromView(rect.origin, fromView), rect.size};
}

// Touches

std::shared_ptr<UIView> UIView::hitTest(const CGPoint& point) {
  if (hidden_ || alpha_ < 0.01 || !userInteractionEnabled_) return nullptr;
  if (!pointInside(point)) return nullptr;
  auto subviews = subviews_;
  for (auto it = subviews.rbegin(); it != subviews.rend(); ++it) {
    const auto& subview = *it;
    CGPoint local = point - subview->frame_.origin + subview->boundsOrigin_;
    if (auto hit = subview->hitTest(local)) return hit;
  }
  return shared_from_this();
}

bool UIView::pointInside(const CGPoint& point) const {
  return bounds().contains(point);
}

bool UIView::handleTap(const CGPoint&) {
  return false;
}

void UIView::drawRect(const DrawContext&, const CGRect&) const {}

}  // namespace tilo::platform
