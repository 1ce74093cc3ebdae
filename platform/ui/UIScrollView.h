// A view that shows a window onto a taller content view and moves it when scrolled.
//
//   auto scroll = UIScrollView::create();
//   scroll->contentView()->addSubview(stack);            // pin stack to the content view:
//   stack->topAnchor().constraintEqualToAnchor(scroll->contentView()->topAnchor());
//   ...                                                   // its height is the content's
//   window->scroll({195, 400}, {0, 120});                 // shows what lies 120 pt further down
//
// Vertical only: the content view is as wide as the scroll view, and as tall as its own
// subviews' constraints make it. The offset stays between the top and the point where
// the content's bottom meets the scroll view's; the scroll view clips what lies outside.
// Main thread only.
#pragma once

#include <memory>

#include "platform/ui/UIView.h"

namespace tilo::platform {

class UIScrollView : public UIView {
 public:
  static std::shared_ptr<UIScrollView> create();
  using UIView::UIView;
  void initializeView() override;
  const char* className() const override { return "UIScrollView"; }

  const std::shared_ptr<UIView>& contentView() const { return content_; }
  // How far the content is scrolled up, in points.
  double contentOffsetY() const { return offsetY_; }
  // The largest offset as of the last layout: the content's height beyond the bounds.
  double maximumContentOffsetY() const;
  // Lays the tree out, then moves the content by `deltaY` points (positive: further down)
  // within its range. Returns whether it moved.
  bool scrollBy(double deltaY);
  // Sets the offset, kept within range once laid out.
  void setContentOffsetY(double offsetY);

 private:
  std::shared_ptr<UIView> content_;
  std::shared_ptr<NSLayoutConstraint> top_;
  double offsetY_ = 0;
};

}  // namespace tilo::platform
