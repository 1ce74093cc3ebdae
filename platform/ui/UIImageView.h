// Shows one image, fitted to the bounds by the content mode (scale to fill by default).
//
//   auto icon = UIImageView::create(UIImage::imageWithData(pngBytes, 2));
//   icon->setContentMode(UIViewContentMode::scaleAspectFill);
//   icon->setClipsToBounds(true);
//
// Its intrinsic size is the image's size in points (none without an image). Template
// images (symbols) are drawn in the tint colour. User interaction is off by default.
#pragma once

#include <memory>

#include "platform/ui/UIImage.h"
#include "platform/ui/UIView.h"

namespace tilo::platform {

class UIImageView : public UIView {
 public:
  static std::shared_ptr<UIImageView> create(std::shared_ptr<UIImage> image = nullptr);
  explicit UIImageView(std::shared_ptr<UIImage> image = nullptr);
  const char* className() const override { return "UIImageView"; }

  const std::shared_ptr<UIImage>& image() const { return image_; }
  void setImage(std::shared_ptr<UIImage> image);

  // Where the image lands inside `bounds` for the current content mode.
  CGRect imageRect(const CGRect& bounds) const;

  CGSize intrinsicContentSize() const override;
  CGSize sizeThatFits(const CGSize& size) const override;
  void drawRect(const DrawContext& context, const CGRect& rect) const override;
  CGRect hashDrawnContent(ContentHash& hash, UIUserInterfaceStyle appearance) const override;

 private:
  std::shared_ptr<UIImage> image_;
};

}  // namespace tilo::platform
