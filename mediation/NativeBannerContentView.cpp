#include "mediation/NativeBannerContentView.h"

#include <algorithm>
#include <cmath>

namespace tilo::mediation {

using platform::CGRect;
using platform::UIColor;
using platform::UIFont;
using platform::UIFontWeight;

namespace {

constexpr double kRowHeight = 64;  // the text row under a taller banner's picture
constexpr double kTallBanner = 120;

std::shared_ptr<platform::UILabel> label(const char* part, double size, bool bold) {
  auto made = platform::UILabel::create();
  made->setAccessibilityIdentifier(std::string("nativeBanner.") + part);
  made->setFont(UIFont::systemFont(size, bold ? UIFontWeight::bold : UIFontWeight::regular));
  return made;
}

}  // namespace

std::shared_ptr<NativeBannerContentView> NativeBannerContentView::create(Creative creative) {
  return platform::makeView<NativeBannerContentView>(std::move(creative));
}

void NativeBannerContentView::initializeView() {
  setAccessibilityIdentifier("nativeBanner");
  setBackgroundColor(UIColor::secondarySystemBackgroundColor());
  setClipsToBounds(true);
  // Taps belong to the banner: the whole of it is the ad.
  setUserInteractionEnabled(false);

  media_ = platform::UIImageView::create(creative_.media);
  media_->setAccessibilityIdentifier("nativeBanner.media");
  media_->setContentMode(platform::UIViewContentMode::scaleAspectFill);
  media_->setClipsToBounds(true);
  icon_ = platform::UIImageView::create(creative_.icon);
  icon_->setAccessibilityIdentifier("nativeBanner.icon");
  icon_->setClipsToBounds(true);
  icon_->layer().setCornerRadius(8);

  title_ = label("title", 14, true);
  title_->setText(creative_.headline.value_or(""));
  title_->setTextColor(UIColor::labelColor());
  detail_ = label("detail", 11, false);
  detail_->setText(creative_.advertiser.value_or(creative_.body.value_or("")));
  detail_->setTextColor(UIColor::systemGrayColor());
  cta_ = label("cta", 13, true);
  cta_->setText(creative_.callToAction.value_or("Open"));
  cta_->setTextAlignment(platform::NSTextAlignment::center);
  cta_->setTextColor(UIColor::whiteColor());
  cta_->setBackgroundColor(UIColor::systemBlueColor());
  cta_->setClipsToBounds(true);
  adMark_ = label("adMark", 9, true);
  adMark_->setText("Ad");
  adMark_->setTextAlignment(platform::NSTextAlignment::center);
  adMark_->setTextColor(UIColor::blackColor());
  adMark_->setBackgroundColor(UIColor(1.0, 0.8, 0.0));  // the full-screen ads' mark
  for (const auto& part : std::initializer_list<std::shared_ptr<platform::UIView>>{
           media_, icon_, title_, detail_, cta_, adMark_}) {
    addSubview(part);
  }
}

void NativeBannerContentView::layoutSubviews() {
  UIView::layoutSubviews();
  const CGRect box = bounds();
  if (box.isEmpty()) return;
  const auto& picture = creative_.media;
  const double shape = box.width() / box.height();
  const bool fills = picture && picture->size().height > 0 &&
                     std::abs(picture->size().width / picture->size().height - shape) < 0.1 * shape;
  for (const auto& part :
       std::initializer_list<std::shared_ptr<platform::UIView>>{icon_, title_, detail_, cta_}) {
    part->setHidden(fills);
  }
  adMark_->setFrame({0, 0, 18, 12});
  if (fills) {
    media_->setHidden(false);
    media_->setFrame(box);
    return;
  }
  const bool tall = box.height() >= kTallBanner;
  media_->setHidden(!tall || !picture);
  if (tall) media_->setFrame({0, 0, box.width(), box.height() - kRowHeight});
  layOutRow(tall ? CGRect(0, box.height() - kRowHeight, box.width(), kRowHeight) : box);
}

void NativeBannerContentView::layOutRow(const CGRect& row) {
  const double pad = std::min(8.0, row.height() / 6);
  double x = row.x() + pad;
  icon_->setHidden(!creative_.icon);
  if (creative_.icon) {
    const double side = row.height() - 2 * pad;
    icon_->setFrame({x, row.y() + pad, side, side});
    x += side + pad;
  }
  const double ctaHeight = std::min(30.0, row.height() - 2 * pad);
  const double ctaWidth =
      std::min(96.0, std::max(56.0, 9.0 * static_cast<double>(cta_->text().size()) + 20));
  cta_->setFrame({row.maxX() - pad - ctaWidth, row.midY() - ctaHeight / 2, ctaWidth, ctaHeight});
  cta_->layer().setCornerRadius(ctaHeight / 2);
  const double textWidth = std::max(0.0, row.maxX() - 2 * pad - ctaWidth - x);
  title_->setFrame({x, row.midY() - 17, textWidth, 18});
  detail_->setFrame({x, row.midY() + 2, textWidth, 14});
}

}  // namespace tilo::mediation
