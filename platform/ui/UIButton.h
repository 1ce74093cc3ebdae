// A control with a title and an image, each set per state (the normal state is the
// fallback for the others).
//
//   auto close = UIButton::create();
//   close->setImage(UIImage::systemImageNamed("xmark"), UIControlState::normal);
//   close->setTitle("Close", UIControlState::normal);
//   close->setTitleColor(UIColor::labelColor(), UIControlState::normal);
//   close->setTintColor(UIColor::labelColor());                 // the symbol's colour
//   close->titleLabel()->setFont(UIFont::systemFont(17, UIFontWeight::bold));
//   close->setContentEdgeInsets({0, 8, 0, 8});
//   close->addTarget(controller, &Popup::close, UIControlEvents::touchUpInside);
//
// The image sits left of the title; the pair is centred in the bounds inset by
// contentEdgeInsets. imageEdgeInsets and titleEdgeInsets move each part by half the
// difference of opposite insets, as the platform does (an image right inset of 4 and a
// title left inset of 4 leave 4 points between them). The intrinsic size is image plus
// title plus the content insets; the image and title insets do not count.
// A custom button (the default) draws its title in white unless told otherwise; a
// system button in its tint colour. Title label and image view are the button's own
// subviews, created with it, without user interaction.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/UIControl.h"
#include "platform/ui/UIEdgeInsets.h"
#include "platform/ui/UIImage.h"
#include "platform/ui/UIImageView.h"
#include "platform/ui/UILabel.h"

namespace tilo::platform {

// Raw values as the platform's.
enum class UIButtonType { custom = 0, system = 1 };

class UIButton : public UIControl {
 public:
  static std::shared_ptr<UIButton> create(UIButtonType type = UIButtonType::custom);
  explicit UIButton(UIButtonType type = UIButtonType::custom);
  void initializeView() override;
  const char* className() const override { return "UIButton"; }

  UIButtonType buttonType() const { return type_; }

  void setTitle(std::optional<std::string> title, UIControlState state);
  std::optional<std::string> titleForState(UIControlState state) const;
  void setTitleColor(std::optional<UIColor> color, UIControlState state);
  UIColor titleColorForState(UIControlState state) const;
  void setImage(std::shared_ptr<UIImage> image, UIControlState state);
  std::shared_ptr<UIImage> imageForState(UIControlState state) const;
  // For the current state.
  std::string currentTitle() const { return titleForState(state()).value_or(""); }
  std::shared_ptr<UIImage> currentImage() const { return imageForState(state()); }

  const std::shared_ptr<UILabel>& titleLabel() const { return titleLabel_; }
  const std::shared_ptr<UIImageView>& imageView() const { return imageView_; }

  const UIEdgeInsets& contentEdgeInsets() const { return contentInsets_; }
  void setContentEdgeInsets(const UIEdgeInsets& insets);
  const UIEdgeInsets& imageEdgeInsets() const { return imageInsets_; }
  void setImageEdgeInsets(const UIEdgeInsets& insets);
  const UIEdgeInsets& titleEdgeInsets() const { return titleInsets_; }
  void setTitleEdgeInsets(const UIEdgeInsets& insets);

  CGSize intrinsicContentSize() const override;
  CGSize sizeThatFits(const CGSize& size) const override;
  void layoutSubviews() override;

 protected:
  void stateDidChange() override;
  void subviewIntrinsicSizeDidChange(UIView& subview) override;

 private:
  void updateContent();
  CGSize titleSize() const;
  CGSize imageSize() const;

  UIButtonType type_;
  std::map<std::uint32_t, std::string> titles_;
  std::map<std::uint32_t, UIColor> titleColors_;
  std::map<std::uint32_t, std::shared_ptr<UIImage>> images_;
  std::shared_ptr<UILabel> titleLabel_;
  std::shared_ptr<UIImageView> imageView_;
  UIEdgeInsets contentInsets_;
  UIEdgeInsets imageInsets_;
  UIEdgeInsets titleInsets_;
};

}  // namespace tilo::platform
