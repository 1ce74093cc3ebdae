#include "platform/ui/UIScrollView.h"

#include <algorithm>
#include <cmath>

namespace tilo::platform {

std::shared_ptr<UIScrollView> UIScrollView::create() {
  return makeView<UIScrollView>();
}

void UIScrollView::initializeView() {
  UIView::initializeView();
  setClipsToBounds(true);
  content_ = UIView::create();
  content_->setTranslatesAutoresizingMaskIntoConstraints(false);
  addSubview(content_);
  top_ = content_->topAnchor().constraintEqualToAnchor(topAnchor());
  NSLayoutConstraint::activateConstraints(
      {top_, content_->leadingAnchor().constraintEqualToAnchor(leadingAnchor()),
       content_->widthAnchor().constraintEqualToAnchor(widthAnchor())});
}

double UIScrollView::maximumContentOffsetY() const {
  return std::max(0.0, content_->frame().height() - bounds().height());
}

void UIScrollView::setContentOffsetY(double offsetY) {
  if (!std::isfinite(offsetY)) return;
  layoutIfNeeded();
  offsetY = std::clamp(offsetY, 0.0, maximumContentOffsetY());
  if (offsetY == offsetY_) return;
  offsetY_ = offsetY;
  top_->setConstant(-offsetY_);
  setNeedsLayout();
}

bool UIScrollView::scrollBy(double deltaY) {
  const double before = offsetY_;
  setContentOffsetY(offsetY_ + deltaY);
  return offsetY_ != before;
}

}  // namespace tilo::platform
