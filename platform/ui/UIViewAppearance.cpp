// UIView's appearance: visibility, alpha, colours, identifiers and its own drawing.
#include "platform/ui/UIView.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/UIDiagnostics.h"
#include "platform/ui/UIWindow.h"

namespace tilo::platform {

// Appearance

void UIView::setHidden(bool hidden) {
  if (hidden_ == hidden) return;
  hidden_ = hidden;
  if (superview_) superview_->subviewHiddenDidChange(*this);
}

void UIView::setAlpha(double alpha) {
  if (std::isnan(alpha)) {
    UIDiagnostics::report(
        {UIDiagnostic::Kind::invalidValue, "alpha NaN of " + layoutName() + " ignored", {}});
    return;
  }
  alpha_ = std::clamp(alpha, 0.0, 1.0);
}

UIColor UIView::tintColor() const {
  for (const UIView* v = this; v; v = v->superview_) {
    if (v->tintColor_) return *v->tintColor_;
  }
  return UIColor::systemBlueColor();
}

void UIView::setTintColor(std::optional<UIColor> color) {
  tintColor_ = std::move(color);
}

void UIView::setAccessibilityIdentifier(std::string identifier) {
  accessibilityIdentifier_ = std::move(identifier);
}

UIUserInterfaceStyle UIView::effectiveAppearance() const {
  return window_ ? window_->appearance() : UIUserInterfaceStyle::light;
}

std::string UIView::layoutName() const {
  if (!accessibilityIdentifier_.empty()) return accessibilityIdentifier_;
  return std::string(className()) + "#" + std::to_string(serial_);
}

void UIView::drawRect(const DrawContext&, const CGRect&) const {}

CGRect UIView::hashDrawnContent(ContentHash&, UIUserInterfaceStyle) const {
  return {};
}

}  // namespace tilo::platform
