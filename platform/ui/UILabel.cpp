#include "platform/ui/UILabel.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/ContentHash.h"
#include "platform/ui/DrawContext.h"
#include "platform/ui/UIDiagnostics.h"

namespace tilo::platform {
namespace {

double ceilPoints(double value) {
  // Tolerate floating-point noise just above a whole number.
  return std::ceil(value - 1e-6);
}

}  // namespace

std::shared_ptr<UILabel> UILabel::create(const CGRect& frame) {
  return makeView<UILabel>(frame);
}

UILabel::UILabel(const CGRect& frame) : UIView(frame) {
  setUserInteractionEnabled(false);
}

void UILabel::setText(std::string text) {
  std::size_t characters = 0;
  std::size_t cut = text.size();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (characters == maxTextLength) cut = std::min(cut, i);
    ++characters;
  }
  if (cut < text.size()) {
    UIDiagnostics::report({UIDiagnostic::Kind::textTooLong,
                           "text of " + std::to_string(characters) + " characters for " +
                               layoutName() + " cut to " + std::to_string(maxTextLength),
                           {}});
    text.resize(cut);
  }
  if (text == text_) return;
  text_ = std::move(text);
  textDidChange();
}

void UILabel::textDidChange() {
  shrinkWidth_ = -1;
  invalidateIntrinsicContentSize();
  setNeedsLayout();
}

void UILabel::setFont(const UIFont& font) {
  if (font == font_) return;
  font_ = font;
  textDidChange();
}

void UILabel::setTextAlignment(NSTextAlignment alignment) {
  alignment_ = alignment;
}

void UILabel::setNumberOfLines(int lines) {
  lines = std::max(0, lines);
  if (lines == numberOfLines_) return;
  numberOfLines_ = lines;
  textDidChange();
}

void UILabel::setLineBreakMode(NSLineBreakMode mode) {
  if (mode == lineBreakMode_) return;
  lineBreakMode_ = mode;
  textDidChange();
}

void UILabel::setAdjustsFontSizeToFitWidth(bool adjusts) {
  adjustsFontSize_ = adjusts;
  shrinkWidth_ = -1;
}

void UILabel::setMinimumScaleFactor(double factor) {
  minimumScaleFactor_ = std::isfinite(factor) ? std::clamp(factor, 0.0, 1.0) : 0;
  shrinkWidth_ = -1;
}

void UILabel::setPreferredMaxLayoutWidth(double width) {
  preferredMaxLayoutWidth_ = std::isfinite(width) ? std::max(0.0, width) : 0;
  invalidateIntrinsicContentSize();
}

std::shared_ptr<const TextLayout> UILabel::layout(double width, double height,
                                                  double fontSize) const {
  TextLayout::Parameters parameters{text_,          font_.withSize(fontSize), width,     height,
                                    numberOfLines_, lineBreakMode_,           alignment_};
  for (const auto& cached : cache_) {
    if (cached && cached->parameters() == parameters) return cached;
  }
  auto made = TextLayout::make(parameters);
  cache_[cacheNext_] = made;
  cacheNext_ = (cacheNext_ + 1) % std::size(cache_);
  return made;
}

CGSize UILabel::intrinsicContentSize() const {
  if (text_.empty()) return {0, 0};
  double width = preferredMaxLayoutWidth_ > 0 ? preferredMaxLayoutWidth_
                 : numberOfLines_ != 1        ? layoutWidth_
                                              : 0;
  CGSize size = layout(width, 0, font_.pointSize())->size();
  return {ceilPoints(size.width), ceilPoints(size.height)};
}

CGSize UILabel::sizeThatFits(const CGSize& size) const {
  if (text_.empty()) return {0, 0};
  double width = numberOfLines_ != 1 && size.width > 0 ? size.width : 0;
  CGSize fitting = layout(width, 0, font_.pointSize())->size();
  return {ceilPoints(fitting.width), ceilPoints(fitting.height)};
}

bool UILabel::updateIntrinsicSizeForLayoutWidth(double width) {
  if (preferredMaxLayoutWidth_ > 0 || numberOfLines_ == 1) return false;
  if (std::fabs(width - layoutWidth_) < 1e-6) return false;
  CGSize before = intrinsicContentSize();
  layoutWidth_ = width;
  if (intrinsicContentSize() == before) return false;
  invalidateIntrinsicContentSize();
  return true;
}

double UILabel::fontSizeForWidth(double width) const {
  double size = font_.pointSize();
  if (!adjustsFontSize_ || numberOfLines_ != 1 || minimumScaleFactor_ <= 0 || text_.empty() ||
      !(width > 0)) {
    return size;
  }
  if (width == shrinkWidth_) return shrinkSize_;
  double natural = layout(0, 0, size)->size().width;
  double result = size;
  if (natural > width) {
    // Unhinted advances scale with the size, so the first estimate nearly always fits;
    // the loop covers kerning and rounding.
    double minimum = size * minimumScaleFactor_;
    double candidate = std::max(minimum, size * width / natural);
    for (int i = 0; i < 24 && candidate > minimum; ++i) {
      TextLayout::Parameters trial{text_,     font_.withSize(candidate), 0, 0, 1, lineBreakMode_,
                                   alignment_};
      if (TextLayout::make(trial)->size().width <= width) break;
      candidate = std::max(minimum, candidate * 0.98);
    }
    result = candidate;
  }
  shrinkWidth_ = width;
  shrinkSize_ = result;
  return result;
}

bool UILabel::isTruncatedInBounds(const CGRect& bounds) const {
  if (text_.empty()) return false;
  CGRect rect = textRect(bounds);
  return layout(rect.width(), rect.height(), fontSizeForWidth(rect.width()))->isTruncated();
}

void UILabel::drawRect(const DrawContext& context, const CGRect& rect) const {
  drawTextInRect(context, textRect(rect));
}

CGRect UILabel::hashDrawnContent(ContentHash& hash, UIUserInterfaceStyle appearance) const {
  if (text_.empty()) return {};
  CGRect rect = textRect(bounds());
  hash.add(text_);
  hash.add(font_.pointSize());
  hash.add(static_cast<int>(font_.weight()));
  hash.add(textColor_.resolved(appearance));
  hash.add(static_cast<int>(alignment_));
  hash.add(numberOfLines_);
  hash.add(static_cast<int>(lineBreakMode_));
  hash.add(adjustsFontSize_);
  hash.add(minimumScaleFactor_);
  hash.add(rect);
  return rect;
}

void UILabel::drawTextInRect(const DrawContext& context, const CGRect& rect) const {
  if (text_.empty() || rect.isEmpty()) return;
  auto text = layout(rect.width(), rect.height(), fontSizeForWidth(rect.width()));
  double y = rect.y() + (rect.height() - text->size().height) / 2;
  cairo_t* cr = context.cairo();
  cairo_save(cr);
  cairo_rectangle(cr, rect.x(), rect.y(), rect.width(), rect.height());
  cairo_clip(cr);
  text->draw(cr, {rect.x(), y, rect.width(), text->size().height}, context.resolve(textColor_));
  cairo_restore(cr);
}

}  // namespace tilo::platform
