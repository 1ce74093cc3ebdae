// Text in one font and colour, measured and drawn with the same pango layouts.
//
//   auto title = UILabel::create();
//   title->setText("Play the new season");
//   title->setFont(UIFont::systemFont(18, UIFontWeight::bold));
//   title->setNumberOfLines(2);                 // 0 = as many as needed
//   title->setTranslatesAutoresizingMaskIntoConstraints(false);
//
// Defaults as the platform's: label colour, system font 17, natural alignment, one line,
// truncating tail, user interaction off. Text is drawn vertically centred in the bounds.
// A multi-line label in Auto Layout reports the height it needs at the width layout gave
// it (unless preferredMaxLayoutWidth fixes that width), and layout is solved again.
// With adjustsFontSizeToFitWidth a single-line label shrinks its font, down to
// minimumScaleFactor times its size (0 = no shrinking), before it truncates.
//
// Subclasses (a label with padding) override textRect/drawTextInRect,
// intrinsicContentSize and sizeThatFits and call the base for the text's own answer.
// Text longer than maxTextLength characters is cut there, with a report.
#pragma once

#include <memory>
#include <string>

#include "platform/ui/NSText.h"
#include "platform/ui/TextLayout.h"
#include "platform/ui/UIColor.h"
#include "platform/ui/UIFont.h"
#include "platform/ui/UIView.h"

namespace tilo::platform {

class UILabel : public UIView {
 public:
  static std::shared_ptr<UILabel> create(const CGRect& frame = {});
  explicit UILabel(const CGRect& frame = {});
  const char* className() const override { return "UILabel"; }

  const std::string& text() const { return text_; }
  void setText(std::string text);
  const UIFont& font() const { return font_; }
  void setFont(const UIFont& font);
  const UIColor& textColor() const { return textColor_; }
  void setTextColor(const UIColor& color) { textColor_ = color; }
  NSTextAlignment textAlignment() const { return alignment_; }
  void setTextAlignment(NSTextAlignment alignment);
  int numberOfLines() const { return numberOfLines_; }
  void setNumberOfLines(int lines);  // negative counts as 0
  NSLineBreakMode lineBreakMode() const { return lineBreakMode_; }
  void setLineBreakMode(NSLineBreakMode mode);
  bool adjustsFontSizeToFitWidth() const { return adjustsFontSize_; }
  void setAdjustsFontSizeToFitWidth(bool adjusts);
  double minimumScaleFactor() const { return minimumScaleFactor_; }
  void setMinimumScaleFactor(double factor);  // clipped into 0…1
  double preferredMaxLayoutWidth() const { return preferredMaxLayoutWidth_; }
  void setPreferredMaxLayoutWidth(double width);

  // The font size the text is drawn with in a text rectangle `width` points wide (smaller
  // than font().pointSize() only when shrinking to fit).
  double fontSizeForWidth(double width) const;
  // Whether the text drawn in `bounds` would be cut (ellipsis or missing lines).
  bool isTruncatedInBounds(const CGRect& bounds) const;

  // Subclass hooks.
  CGSize intrinsicContentSize() const override;
  CGSize sizeThatFits(const CGSize& size) const override;
  // Where drawRect draws the text; the base answers the bounds.
  virtual CGRect textRect(const CGRect& bounds) const { return bounds; }
  virtual void drawTextInRect(const DrawContext& context, const CGRect& rect) const;
  void drawRect(const DrawContext& context, const CGRect& rect) const override;
  CGRect hashDrawnContent(ContentHash& hash, UIUserInterfaceStyle appearance) const override;

  static constexpr std::size_t maxTextLength = 10000;

 protected:
  bool hasWidthDependentIntrinsicSize() const override { return numberOfLines_ != 1; }
  bool updateIntrinsicSizeForLayoutWidth(double width) override;

 private:
  // The text laid out in `width` (0 = unlimited) and `height` (0 = unlimited).
  std::shared_ptr<const TextLayout> layout(double width, double height, double fontSize) const;
  void textDidChange();

  std::string text_;
  UIFont font_ = UIFont::systemFont(17);
  UIColor textColor_ = UIColor::labelColor();
  NSTextAlignment alignment_ = NSTextAlignment::natural;
  int numberOfLines_ = 1;
  NSLineBreakMode lineBreakMode_ = NSLineBreakMode::byTruncatingTail;
  bool adjustsFontSize_ = false;
  double minimumScaleFactor_ = 0;
  double preferredMaxLayoutWidth_ = 0;
  double layoutWidth_ = 0;  // the width the last layout gave a multi-line label
  // The last few layouts; a label is measured at one or two widths and drawn at one.
  mutable std::shared_ptr<const TextLayout> cache_[3];
  mutable std::size_t cacheNext_ = 0;
  mutable double shrinkWidth_ = -1;
  mutable double shrinkSize_ = 0;
};

}  // namespace tilo::platform
