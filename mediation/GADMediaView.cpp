#include "mediation/GADMediaView.h"

namespace tilo::mediation {

std::shared_ptr<GADMediaView> GADMediaView::create() {
  return platform::makeView<GADMediaView>();
}

void GADMediaView::initializeView() {
  imageView_ = platform::UIImageView::create();
  imageView_->setContentMode(platform::UIViewContentMode::scaleAspectFit);
  imageView_->setFrame(bounds());
  addSubview(imageView_);
}

void GADMediaView::layoutSubviews() {
  UIView::layoutSubviews();
  imageView_->setFrame(bounds());
}

void GADMediaView::setMediaContent(std::shared_ptr<GADMediaContent> content) {
  mediaContent_ = std::move(content);
  imageView_->setImage(mediaContent_ ? mediaContent_->mainImage() : nullptr);
}

}  // namespace tilo::mediation
