// Blurs what lies beneath it (everything drawn before it in the window) inside its
// bounds, tints it with the effect's material, then draws its content view on top.
//
//   auto blur = UIVisualEffectView::create(
//       UIBlurEffect::effectWithStyle(UIBlurEffectStyle::systemUltraThinMaterial));
//   blur->contentView()->addSubview(label);   // addSubview on the effect view goes there too
//
// Without an effect it draws nothing of its own.
// Warning: inside an ancestor with alpha below 1 (drawn as a group), the blur sees only
// what that ancestor has drawn so far, not the window beneath it.
#pragma once

#include <memory>

#include "platform/ui/UIBlurEffect.h"
#include "platform/ui/UIView.h"

namespace tilo::platform {

class UIVisualEffectView : public UIView {
 public:
  static std::shared_ptr<UIVisualEffectView> create(std::shared_ptr<UIBlurEffect> effect);
  explicit UIVisualEffectView(std::shared_ptr<UIBlurEffect> effect);
  void initializeView() override;
  const char* className() const override { return "UIVisualEffectView"; }

  const std::shared_ptr<UIBlurEffect>& effect() const { return effect_; }
  void setEffect(std::shared_ptr<UIBlurEffect> effect) { effect_ = std::move(effect); }
  const std::shared_ptr<UIView>& contentView() const { return contentView_; }

  // Adds to the content view, as the platform requires.
  void addSubview(const std::shared_ptr<UIView>& view) override;
  void layoutSubviews() override;

 private:
  std::shared_ptr<UIBlurEffect> effect_;
  std::shared_ptr<UIView> contentView_;
};

}  // namespace tilo::platform
