// What a banner or MREC shows when its ad is a native creative (real demand): drawn from
// its assets at whatever size the banner has.
//
//   auto content = NativeBannerContentView::create(creative);
//   banner->addSubview(content);           // its frame: the banner's bounds
//
// A picture whose shape is the banner's (within 10 %) fills it, with the "Ad" mark. Else a
// strip lower than 120 points shows icon, title, the sponsor (or the description) and a
// call-to-action pill in one row; a taller banner shows its picture above that row.
// Parts: "nativeBanner.media", ".icon", ".title", ".detail", ".cta", ".adMark".
#pragma once

#include <memory>

#include "mediation/TestCreatives.h"
#include "platform/ui/UIImageView.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UIView.h"

namespace tilo::mediation {

class NativeBannerContentView final : public platform::UIView {
 public:
  static std::shared_ptr<NativeBannerContentView> create(Creative creative);
  explicit NativeBannerContentView(Creative creative) : creative_(std::move(creative)) {}
  const char* className() const override { return "NativeBannerContentView"; }

  void initializeView() override;
  void layoutSubviews() override;

 private:
  void layOutRow(const platform::CGRect& row);

  Creative creative_;
  std::shared_ptr<platform::UIImageView> media_, icon_;
  std::shared_ptr<platform::UILabel> title_, detail_, cta_, adMark_;
};

}  // namespace tilo::mediation
