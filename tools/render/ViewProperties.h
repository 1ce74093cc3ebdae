// The views of tilo-render's file: the classes it can make and the properties each class
// reads from its entry.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/NSLayoutConstraint.h"
#include "platform/ui/UIEdgeInsets.h"
#include "platform/ui/UIView.h"
#include "tools/render/DocumentFields.h"

namespace tilo::platform {
class UIButton;
class UIImageView;
class UILabel;
class UIStackView;
}  // namespace tilo::platform

namespace tilo::render {

// The attribute names of constraint anchors ("left", "centerX", ...).
extern const std::vector<std::pair<const char*, platform::NSLayoutAttribute>> kAttributes;

// Four numbers at `key`: top, left, bottom, right.
platform::UIEdgeInsets insets(Fields& fields, const std::string& key);

// A new view of `className` (an effect view reads its blur style from `fields`).
std::shared_ptr<platform::UIView> makeView(const std::string& className, Fields& fields);
// The properties every view takes, then those of each class. Images named by path are
// read relative to `base`.
void applyCommon(platform::UIView& view, Fields& fields);
void applyLabel(platform::UILabel& label, Fields& fields);
void applyButton(platform::UIButton& button, Fields& fields, const std::filesystem::path& base);
void applyImageView(platform::UIImageView& view, Fields& fields, const std::filesystem::path& base);
void applyStack(platform::UIStackView& stack, Fields& fields);

}  // namespace tilo::render
