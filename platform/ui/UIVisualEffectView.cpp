#include "platform/ui/UIVisualEffectView.h"

namespace tilo::platform {

std::shared_ptr<UIVisualEffectView> UIVisualEffectView::create(
    std::shared_ptr<UIBlurEffect> effect) {
  return makeView<UIVisualEffectView>(std::move(effect));
}

UIVisualEffectView::UIVisualEffectView(std::shared_ptr<UIBlurEffect> effect)
    : effect_(std::move(effect)) {}

void UIVisualEffectView::initializeView() {
  UIView::initializeView();
  contentView_ = UIView::create(bounds());
  contentView_->setPrivateSubview(true);
  UIView::addSubview(contentView_);
}

void UIVisualEffectView::addSubview(const std::shared_ptr<UIView>& view) {
  if (view == contentView_ || !contentView_) {
    UIView::addSubview(view);
    return;
  }
  contentView_->addSubview(view);
}

void UIVisualEffectView::layoutSubviews() {
  UIView::layoutSubviews();
  contentView_->setFrame(bounds());
}

}  // namespace tilo::platform
