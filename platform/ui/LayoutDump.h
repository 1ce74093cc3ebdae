// A JSON description of a laid-out view tree, for tests, tools and bug reports:
//
//   {"window": {"width": 390, "height": 844, "scale": 3, "safeArea": [47, 0, 34, 0],
//               "appearance": "light", "backgroundColor": "#FFFFFFFF"},
//    "views": [{"class": "UILabel", "id": "title", "frame": [92, 420, 258, 44],
//               "hidden": false, "alpha": 1, "text": "…", "font": {"size": 18, "weight": "bold"},
//               "textColor": "#000000FF", "children": []}, …],
//    "droppedConstraints": ["<NSLayoutConstraint banner.width == 300 @1000>"]}
//
// Dumping a window lists its subviews under "views"; dumping another view lists that
// view alone ("window" describes its window, or is null). Frames are in window points
// (the tree's root when there is no window), rounded to 1/1000. Colours are "#RRGGBBAA"
// resolved for the window's appearance. Keys that do not apply to a view are left out;
// the private subviews of controls are described on the control (a button's "text").
// The tree is laid out first. The dump recurses once per level, which the tree's depth
// limit (UIView::kMaxTreeDepth) keeps to a bounded stack.
#pragma once

#include <string>

#include "platform/Json.h"

namespace tilo::platform {

class UIView;

Json layoutDump(UIView& view);
// Indented by two spaces, arrays of plain values (frames) on one line.
std::string layoutDumpString(UIView& view);

}  // namespace tilo::platform
