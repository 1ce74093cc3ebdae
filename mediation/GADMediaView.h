// Shows a native ad's media content, scaled to fit its bounds.
#pragma once

#include <memory>

#include "mediation/GADMediaContent.h"
#include "platform/ui/UIImageView.h"
#include "platform/ui/UIView.h"

namespace tilo::mediation {

class GADMediaView : public platform::UIView {
 public:
  static std::shared_ptr<GADMediaView> create();
  const char* className() const override { return "GADMediaView"; }
  void initializeView() override;
  void layoutSubviews() override;

  const std::shared_ptr<GADMediaContent>& mediaContent() const { return mediaContent_; }
  void setMediaContent(std::shared_ptr<GADMediaContent> content);

 private:
  std::shared_ptr<GADMediaContent> mediaContent_;
  std::shared_ptr<platform::UIImageView> imageView_;
};

}  // namespace tilo::mediation
