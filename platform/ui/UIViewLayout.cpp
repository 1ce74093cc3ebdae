// UIView's part in Auto Layout: layout requests, content priorities, the safe area and
// the layout loop that the tree's root runs.
#include "platform/ui/UIView.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/LayoutEngine.h"
#include "platform/ui/UIDiagnostics.h"
#include "platform/ui/UIWindow.h"

namespace tilo::platform {
namespace {

constexpr int kMaxLayoutIterations = 10;

int axisIndex(UILayoutConstraintAxis axis) {
  return axis == UILayoutConstraintAxis::horizontal ? 0 : 1;
}

UILayoutPriority clippedPriority(UILayoutPriority priority) {
  return std::clamp(priority, 1.0f, 1000.0f);
}

}  // namespace

// The parts of a view that use its tree's layout engine or its window, which sit above
// the view itself.

std::shared_ptr<UIWindow> UIView::window() const {
  if (!window_) return nullptr;
  return std::static_pointer_cast<UIWindow>(static_cast<UIView*>(window_)->weak_from_this().lock());
}

void UIView::structureDidChange() {
  UIView* root = rootView();
  if (root->engine_) root->engine_->invalidate();
  root->treeNeedsLayout_ = true;
}

void UIView::LayoutEngineDeleter::operator()(LayoutEngine* engine) const {
  delete engine;
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
  if (!root->engine_) root->engine_.reset(new LayoutEngine(*root));
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

}  // namespace tilo::platform
