#include "Tilo/views/PaddingLabel.h"

namespace tilo {

void PaddingLabel::setTextInsets(const platform::UIEdgeInsets& insets) {
  textInsets_ = insets;
  invalidateIntrinsicContentSize();
}

void PaddingLabel::drawTextInRect(const platform::DrawContext& context,
                                  const platform::CGRect& rect) const {
  UILabel::drawTextInRect(context, textInsets_.inset(rect));
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
