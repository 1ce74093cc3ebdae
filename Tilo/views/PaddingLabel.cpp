#include "Tilo/views/PaddingLabel.h"

#include "platform/ui/ContentHash.h"

namespace tilo {

void PaddingLabel::setTextInsets(const platform::UIEdgeInsets& insets) {
  textInsets_ = insets;
  invalidateIntrinsicContentSize();
}

void PaddingLabel::drawTextInRect(const platform::DrawContext& context,
                                  const platform::CGRect& rect) const {
  UILabel::drawTextInRect(context, textInsets_.inset(rect));
}

platform::CGRect PaddingLabel::hashDrawnContent(platform::ContentHash& hash,
                                                platform::UIUserInterfaceStyle appearance) const {
  platform::CGRect rect = UILabel::hashDrawnContent(hash, appearance);
  hash.add(
      platform::CGRect{textInsets_.left, textInsets_.top, textInsets_.right, textInsets_.bottom});
  return rect;
}

platform::CGSize PaddingLabel::intrinsicContentSize() const {
  platform::CGSize size = UILabel::intrinsicContentSize();
  return {size.width + textInsets_.horizontal(), size.height + textInsets_.vertical()};
}

platform::CGSize PaddingLabel::sizeThatFits(const platform::CGSize& size) const {
  platform::CGSize fitting = UILabel::sizeThatFits(size);
  return {fitting.width + textInsets_.horizontal(), fitting.height + textInsets_.vertical()};
}

}  // namespace tilo
