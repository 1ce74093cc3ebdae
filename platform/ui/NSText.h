// Text alignment and line-break modes of labels and button titles. Raw values as the
// platform's.
#pragma once

namespace tilo::platform {

enum class NSTextAlignment {
  left = 0,
  center = 1,
  right = 2,
  justified = 3,  // multi-line text stretched to both edges, the last line left
  natural = 4,    // left: text is laid out left to right only
};

enum class NSLineBreakMode {
  byWordWrapping = 0,      // wrap at word boundaries; a single line is clipped
  byCharWrapping = 1,      // wrap at any character; a single line is clipped
  byClipping = 2,          // no ellipsis; what does not fit is cut off
  byTruncatingHead = 3,    // "…end of the text"
  byTruncatingTail = 4,    // "Start of the text…" (the default)
  byTruncatingMiddle = 5,  // "Start…end"
};

}  // namespace tilo::platform
