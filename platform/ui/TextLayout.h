// One laid-out piece of text: measured once, drawn any number of times at any scale.
//
//   TextLayout::Parameters p{.text = "Install now", .font = UIFont::systemFont(17),
//                            .width = 120, .numberOfLines = 1};
//   auto layout = TextLayout::make(p);
//   CGSize size = layout->size();                 // in points
//   layout->draw(cr, rect, color);                // same glyph positions as measured
//
// Labels and button titles keep their last layouts and make a new one only when a
// parameter changes; making one is the expensive step (shaping), drawing is cheap.
// Invalid UTF-8 and NUL characters are shown as U+FFFD. Internal to platform/ui; main
// thread only.
#pragma once

#include <cairo.h>

#include <memory>
#include <string>

#include "platform/ui/CGGeometry.h"
#include "platform/ui/NSText.h"
#include "platform/ui/UIColor.h"
#include "platform/ui/UIFont.h"

typedef struct _PangoLayout PangoLayout;

namespace tilo::platform {

class TextLayout {
 public:
  struct Parameters {
    std::string text;
    UIFont font = UIFont::systemFont(17);
    // Available width in points; not positive = unlimited (one line per paragraph).
    double width = 0;
    // Available height in points; not positive = unlimited. Lines that do not fit are
    // dropped (and, when truncating, the last one shown ends in an ellipsis).
    double height = 0;
    int numberOfLines = 1;  // 0 = unlimited
    NSLineBreakMode lineBreakMode = NSLineBreakMode::byTruncatingTail;
    NSTextAlignment alignment = NSTextAlignment::natural;

    bool operator==(const Parameters&) const = default;
  };

  static std::shared_ptr<const TextLayout> make(const Parameters& parameters);
  ~TextLayout();
  TextLayout(const TextLayout&) = delete;
  TextLayout& operator=(const TextLayout&) = delete;

  const Parameters& parameters() const { return parameters_; }
  // Logical size of the lines shown, in points (not rounded).
  CGSize size() const { return size_; }
  int lineCount() const { return lineCount_; }
  // True when text was cut: an ellipsis was inserted or lines were dropped.
  bool isTruncated() const { return truncated_; }
  // Draws the lines shown, aligned inside `rect` horizontally (by the alignment) and
  // starting at its top. The caller centres vertically if it wants to.
  void draw(cairo_t* cr, const CGRect& rect, const RGBA& color) const;

  // Replaces invalid UTF-8 and NUL with U+FFFD.
  static std::string sanitized(const std::string& text);

 private:
  explicit TextLayout(const Parameters& parameters);

  Parameters parameters_;
  PangoLayout* layout_ = nullptr;
  CGSize size_;
  double offsetX_ = 0;  // logical rect's x inside the pango layout
  int lineCount_ = 0;
  bool truncated_ = false;
  bool clipLines_ = false;  // draw only the first lineCount_ lines
};

}  // namespace tilo::platform
