// What a native ad's media view shows: here always a still image.
#pragma once

#include <memory>

#include "platform/ui/UIImage.h"

namespace tilo::mediation {

class GADMediaContent {
 public:
  explicit GADMediaContent(std::shared_ptr<platform::UIImage> mainImage)
      : mainImage_(std::move(mainImage)) {}

  const std::shared_ptr<platform::UIImage>& mainImage() const { return mainImage_; }
  bool hasVideoContent() const { return false; }
  // Width over height of the main image; 0 without one.
  double aspectRatio() const {
    if (!mainImage_ || !(mainImage_->size().height > 0)) return 0;
    return mainImage_->size().width / mainImage_->size().height;
  }

 private:
  std::shared_ptr<platform::UIImage> mainImage_;
};

}  // namespace tilo::mediation
