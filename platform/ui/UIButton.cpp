#include "platform/ui/UIButton.h"

#include <algorithm>

namespace tilo::platform {
namespace {

std::uint32_t bits(UIControlState state) {
  return static_cast<std::uint32_t>(state);
}

template <class Map>
auto lookup(const Map& map, UIControlState state) -> const typename Map::mapped_type* {
  auto found = map.find(bits(state));
  if (found == map.end()) found = map.find(bits(UIControlState::normal));
  return found == map.end() ? nullptr : &found->second;
}

}  // namespace

std::shared_ptr<UIButton> UIButton::create(UIButtonType type) {
  return makeView<UIButton>(type);
}

UIButton::UIButton(UIButtonType type) : type_(type) {}

void UIButton::initializeView() {
  UIControl::initializeView();
  imageView_ = UIImageView::create();
  imageView_->setPrivateSubview(true);
  imageView_->setContentMode(UIViewContentMode::scaleAspectFit);
  imageView_->setHidden(true);
  addSubview(imageView_);
  titleLabel_ = UILabel::create();
  titleLabel_->setPrivateSubview(true);
  titleLabel_->setFont(UIFont::systemFont(15));
  titleLabel_->setLineBreakMode(NSLineBreakMode::byTruncatingMiddle);
  titleLabel_->setHidden(true);
  addSubview(titleLabel_);
  updateContent();
}

void UIButton::setTitle(std::optional<std::string> title, UIControlState state) {
  if (title) {
    titles_[bits(state)] = std::move(*title);
  } else {
    titles_.erase(bits(state));
  }
  updateContent();
}

std::optional<std::string> UIButton::titleForState(UIControlState state) const {
  const std::string* title = lookup(titles_, state);
  return title ? std::optional<std::string>(*title) : std::nullopt;
}

void UIButton::setTitleColor(std::optional<UIColor> color, UIControlState state) {
  if (color) {
    titleColors_[bits(state)] = *color;
  } else {
    titleColors_.erase(bits(state));
  }
  updateContent();
}

UIColor UIButton::titleColorForState(UIControlState state) const {
  if (const UIColor* color = lookup(titleColors_, state)) return *color;
  return type_ == UIButtonType::system ? tintColor() : UIColor::whiteColor();
}

void UIButton::setImage(std::shared_ptr<UIImage> image, UIControlState state) {
  if (image) {
    images_[bits(state)] = std::move(image);
  } else {
    images_.erase(bits(state));
  }
  updateContent();
}

std::shared_ptr<UIImage> UIButton::imageForState(UIControlState state) const {
  const std::shared_ptr<UIImage>* image = lookup(images_, state);
  return image ? *image : nullptr;
}

void UIButton::setContentEdgeInsets(const UIEdgeInsets& insets) {
  contentInsets_ = insets;
  invalidateIntrinsicContentSize();
  setNeedsLayout();
}

void UIButton::setImageEdgeInsets(const UIEdgeInsets& insets) {
  imageInsets_ = insets;
  setNeedsLayout();
}

void UIButton::setTitleEdgeInsets(const UIEdgeInsets& insets) {
  titleInsets_ = insets;
  setNeedsLayout();
}

void UIButton::stateDidChange() {
  UIControl::stateDidChange();
  updateContent();
}

void UIButton::subviewIntrinsicSizeDidChange(UIView& subview) {
  UIControl::subviewIntrinsicSizeDidChange(subview);
  if (&subview == titleLabel_.get() || &subview == imageView_.get()) {
    invalidateIntrinsicContentSize();
    setNeedsLayout();
  }
}

void UIButton::updateContent() {
  if (!titleLabel_) return;  // before initializeView
  std::string title = currentTitle();
  titleLabel_->setText(title);
  titleLabel_->setHidden(title.empty());
  titleLabel_->setTextColor(titleColorForState(state()));
  auto image = currentImage();
  imageView_->setImage(image);
  imageView_->setHidden(!image);
  invalidateIntrinsicContentSize();
  setNeedsLayout();
}

CGSize UIButton::titleSize() const {
  return titleLabel_ && !titleLabel_->text().empty() ? titleLabel_->intrinsicContentSize()
                                                     : CGSize{0, 0};
}

CGSize UIButton::imageSize() const {
  auto image = imageView_ ? imageView_->image() : nullptr;
  return image ? image->size() : CGSize{0, 0};
}

CGSize UIButton::intrinsicContentSize() const {
  CGSize title = titleSize(), image = imageSize();
  return {image.width + title.width + contentInsets_.horizontal(),
          std::max(image.height, title.height) + contentInsets_.vertical()};
}

CGSize UIButton::sizeThatFits(const CGSize&) const {
  return intrinsicContentSize();
}

void UIButton::layoutSubviews() {
  UIControl::layoutSubviews();
  if (!titleLabel_) return;
  CGRect content = contentInsets_.inset(bounds());
  CGSize image = imageSize(), title = titleSize();
  // The title gives way when both do not fit.
  title.width = std::max(0.0, std::min(title.width, content.width() - image.width));
  double x = content.x() + (content.width() - image.width - title.width) / 2;
  auto shifted = [](CGRect rect, const UIEdgeInsets& insets) {
    return rect.offsetBy((insets.left - insets.right) / 2, (insets.top - insets.bottom) / 2);
  };
  imageView_->setFrame(
      shifted({x, content.midY() - image.height / 2, image.width, image.height}, imageInsets_));
  titleLabel_->setFrame(
      shifted({x + image.width, content.midY() - title.height / 2, title.width, title.height},
              titleInsets_));
}

}  // namespace tilo::platform
