// UIView's geometry: frame, bounds and centre, conversion between views, hit testing, and
// its safe-area guide (a part of the view, so defined with it: the guide's header stays
// below the view's).
#include "platform/ui/UIView.h"

#include <algorithm>
#include <vector>

#include "platform/ui/LayoutEngine.h"
#include "platform/ui/UIDiagnostics.h"

namespace tilo::platform {

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

// Safe-area guide
CGRect UILayoutGuide::layoutFrame() const {
  return owningView_->safeAreaInsets().inset(owningView_->bounds());
}

std::string UILayoutGuide::layoutName() const {
  return owningView_->layoutName() + ".safeArea";
}

std::weak_ptr<LayoutItem> UILayoutGuide::weakItem() {
  auto view = owningView_->weak_from_this().lock();
  if (!view) return {};
  return std::shared_ptr<LayoutItem>(view, this);
}

}  // namespace tilo::platform
