#include "platform/ui/UIImageView.h"

#include <algorithm>

#include "platform/ui/ContentHash.h"
#include "platform/ui/DrawContext.h"

namespace tilo::platform {

std::shared_ptr<UIImageView> UIImageView::create(std::shared_ptr<UIImage> image) {
  return makeView<UIImageView>(std::move(image));
}

UIImageView::UIImageView(std::shared_ptr<UIImage> image)
    : UIView(image ? CGRect{{0, 0}, image->size()} : CGRect{}), image_(std::move(image)) {
  setUserInteractionEnabled(false);
}

void UIImageView::setImage(std::shared_ptr<UIImage> image) {
  if (image == image_) return;
  bool sizeChanged = !image || !image_ || image->size() != image_->size();
  image_ = std::move(image);
  if (sizeChanged) invalidateIntrinsicContentSize();
}

CGSize UIImageView::intrinsicContentSize() const {
  if (!image_) return {noIntrinsicMetric, noIntrinsicMetric};
  return image_->size();
}

CGSize UIImageView::sizeThatFits(const CGSize& size) const {
  return image_ ? image_->size() : size;
}

CGRect UIImageView::imageRect(const CGRect& bounds) const {
  if (!image_) return {};
  CGSize natural = image_->size();
  if (natural.width <= 0 || natural.height <= 0) return {};
  switch (contentMode()) {
    case UIViewContentMode::scaleAspectFit:
    case UIViewContentMode::scaleAspectFill: {
      double sx = bounds.width() / natural.width, sy = bounds.height() / natural.height;
      double s =
          contentMode() == UIViewContentMode::scaleAspectFit ? std::min(sx, sy) : std::max(sx, sy);
      CGSize size{natural.width * s, natural.height * s};
      return {bounds.midX() - size.width / 2, bounds.midY() - size.height / 2, size.width,
              size.height};
    }
    case UIViewContentMode::center:
      return {bounds.midX() - natural.width / 2, bounds.midY() - natural.height / 2, natural.width,
              natural.height};
    default:
      return bounds;
  }
}

void UIImageView::drawRect(const DrawContext& context, const CGRect& rect) const {
  if (!image_) return;
  image_->draw(context.cairo(), imageRect(rect), context.resolve(tintColor()));
}

CGRect UIImageView::hashDrawnContent(ContentHash& hash, UIUserInterfaceStyle appearance) const {
  if (!image_) return {};
  // Images are immutable: the pointer names the pixels.
  hash.add(static_cast<const void*>(image_.get()));
  if (image_->isTemplate()) hash.add(tintColor().resolved(appearance));
  CGRect rect = imageRect(bounds());
  hash.add(rect);
  return rect;
}

}  // namespace tilo::platform
