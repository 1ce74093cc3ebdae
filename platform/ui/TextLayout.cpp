#include "platform/ui/TextLayout.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <climits>
#include <cmath>

#include "platform/ui/FontSystem.h"

namespace tilo::platform {
namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";

bool truncates(NSLineBreakMode mode) {
  return mode == NSLineBreakMode::byTruncatingHead || mode == NSLineBreakMode::byTruncatingTail ||
         mode == NSLineBreakMode::byTruncatingMiddle;
}

PangoEllipsizeMode ellipsizeMode(NSLineBreakMode mode) {
  switch (mode) {
    case NSLineBreakMode::byTruncatingHead:
      return PANGO_ELLIPSIZE_START;
    case NSLineBreakMode::byTruncatingMiddle:
      return PANGO_ELLIPSIZE_MIDDLE;
    case NSLineBreakMode::byTruncatingTail:
      return PANGO_ELLIPSIZE_END;
    default:
      return PANGO_ELLIPSIZE_NONE;
  }
}

PangoAlignment pangoAlignment(NSTextAlignment alignment) {
  switch (alignment) {
    case NSTextAlignment::center:
      return PANGO_ALIGN_CENTER;
    case NSTextAlignment::right:
      return PANGO_ALIGN_RIGHT;
    default:
      return PANGO_ALIGN_LEFT;
  }
}

// A single-line label shows its paragraphs joined by spaces.
std::string joinedLines(const std::string& text) {
  std::string joined;
  joined.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\n' || c == '\r' || c == '\v' || c == '\f') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      joined += ' ';
    } else if (text.compare(i, 3, "\xE2\x80\xA8") == 0 || text.compare(i, 3, "\xE2\x80\xA9") == 0) {
      joined += ' ';  // U+2028 line and U+2029 paragraph separators
      i += 2;
    } else {
      joined += c;
    }
  }
  return joined;
}

}  // namespace

std::string TextLayout::sanitized(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t size = text.size();
  std::size_t i = 0;
  while (i < size) {
    unsigned char lead = bytes[i];
    if (lead == 0) {
      out += kReplacement;
      ++i;
      continue;
    }
    if (lead < 0x80) {
      out += static_cast<char>(lead);
      ++i;
      continue;
    }
    int length = 0;
    std::uint32_t min = 0;
    std::uint32_t code = 0;
    if ((lead & 0xE0) == 0xC0) {
      length = 2, min = 0x80, code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, min = 0x800, code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, min = 0x10000, code = lead & 0x07;
    }
    bool valid = length > 0 && i + length <= size;
    for (int k = 1; valid && k < length; ++k) {
      unsigned char next = bytes[i + k];
      if ((next & 0xC0) != 0x80) {
        valid = false;
      } else {
        code = (code << 6) | (next & 0x3F);
      }
    }
    if (valid && (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))) {
      valid = false;
    }
    if (valid) {
      out.append(text, i, static_cast<std::size_t>(length));
      i += static_cast<std::size_t>(length);
    } else {
      out += kReplacement;
      ++i;
    }
  }
  return out;
}

std::shared_ptr<const TextLayout> TextLayout::make(const Parameters& parameters) {
  return std::shared_ptr<const TextLayout>(new TextLayout(parameters));
}

TextLayout::TextLayout(const Parameters& p) : parameters_(p) {
  FontSystem& fonts = FontSystem::shared();
  const auto held = FontSystem::lock();
  layout_ = pango_layout_new(fonts.context());
  pango_layout_set_font_description(layout_, fonts.description(p.font));

  bool singleLine = p.numberOfLines == 1;
  std::string text = sanitized(p.text);
  if (singleLine) text = joinedLines(text);
  pango_layout_set_text(layout_, text.data(), static_cast<int>(text.size()));

  auto metrics = fonts.metrics(p.font);
  double lineHeight = metrics.ascent + metrics.descent;
  int maxLines = p.numberOfLines > 0 ? p.numberOfLines : INT_MAX;
  if (p.height > 0 && lineHeight > 0) {
    // At least one line is shown, clipped, however little room there is.
    int fitting = static_cast<int>(std::floor((p.height + 0.01) / lineHeight));
    maxLines = std::min(maxLines, std::max(1, fitting));
  }
  bool truncating = truncates(p.lineBreakMode);
  bool hasWidth = p.width > 0 && std::isfinite(p.width);
  bool pangoWidth = hasWidth && (!singleLine || truncating);
  if (pangoWidth) {
    pango_layout_set_width(layout_, static_cast<int>(p.width * PANGO_SCALE));
    pango_layout_set_alignment(layout_, pangoAlignment(p.alignment));
    pango_layout_set_wrap(layout_, p.lineBreakMode == NSLineBreakMode::byCharWrapping
                                       ? PANGO_WRAP_CHAR
                                       : PANGO_WRAP_WORD_CHAR);
    if (!singleLine && p.alignment == NSTextAlignment::justified) {
      pango_layout_set_justify(layout_, TRUE);
    }
    // Pango ellipsizes to one line per paragraph unless given a height; with no limit
    // there is nothing to truncate.
    if (truncating && (singleLine || maxLines != INT_MAX)) {
      pango_layout_set_ellipsize(layout_, ellipsizeMode(p.lineBreakMode));
      if (!singleLine) {
        // A positive height keeps the lines that fit and ellipsizes the last one, across
        // paragraphs too. Half a line of slack keeps rounding from losing a line.
        pango_layout_set_height(layout_,
                                static_cast<int>((maxLines + 0.5) * lineHeight * PANGO_SCALE));
      }
    }
  }

  int total = pango_layout_get_line_count(layout_);
  lineCount_ = std::min(total, maxLines);
  clipLines_ = lineCount_ < total;
  // Extents of the lines shown.
  double minX = 0, maxX = 0, bottom = 0;
  bool first = true;
  PangoLayoutIter* iter = pango_layout_get_iter(layout_);
  int index = 0;
  do {
    if (index >= lineCount_) break;
    PangoRectangle logical;
    pango_layout_iter_get_line_extents(iter, nullptr, &logical);
    double x = logical.x / double(PANGO_SCALE);
    double right = x + logical.width / double(PANGO_SCALE);
    if (first || x < minX) minX = x;
    if (first || right > maxX) maxX = right;
    bottom = (logical.y + logical.height) / double(PANGO_SCALE);
    first = false;
    ++index;
  } while (pango_layout_iter_next_line(iter));
  pango_layout_iter_free(iter);
  if (first) {  // empty text: one empty line of the font's height
    bottom = lineHeight;
    lineCount_ = text.empty() ? 0 : lineCount_;
  }
  size_ = {std::max(0.0, maxX - minX), bottom};
  offsetX_ = pangoWidth ? 0 : minX;
  truncated_ = pango_layout_is_ellipsized(layout_) || clipLines_ ||
               (singleLine && !truncating && hasWidth && size_.width > p.width + 0.01);
  if (text.empty()) size_ = {0, 0};
}

TextLayout::~TextLayout() {
  if (!layout_) return;
  const auto held = FontSystem::lock();
  g_object_unref(layout_);
}

void TextLayout::draw(cairo_t* cr, const CGRect& rect, const RGBA& color) const {
  if (parameters_.text.empty() || color.alpha <= 0) return;
  const auto held = FontSystem::lock();
  double x = rect.x();
  bool pangoWidth = pango_layout_get_width(layout_) > 0;
  if (!pangoWidth) {
    double free = rect.width() - size_.width;
    switch (parameters_.alignment) {
      case NSTextAlignment::center:
        x += free / 2;
        break;
      case NSTextAlignment::right:
        x += free;
        break;
      default:
        break;
    }
    x -= offsetX_;
  }
  cairo_save(cr);
  if (clipLines_) {
    cairo_rectangle(cr, rect.x() - size_.width - 1, rect.y(), rect.width() + 2 * size_.width + 2,
                    size_.height);
    cairo_clip(cr);
  }
  cairo_set_source_rgba(cr, color.red, color.green, color.blue, color.alpha);
  cairo_move_to(cr, x, rect.y());
  pango_cairo_show_layout(cr, layout_);
  cairo_restore(cr);
}

}  // namespace tilo::platform
