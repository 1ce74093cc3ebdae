#include "mediation/GADNativeAd.h"

#include "platform/FileSystem.h"

namespace tilo::mediation {

using platform::UIColor;
using platform::UIImage;

namespace {

std::shared_ptr<UIImage> loadImage(const NativeImageSource& source, bool isIcon) {
  if (source.generated) {
    // Generated once per kind: images are immutable and shared.
    static const auto icon =
        UIImage::generated({64, 64}, UIColor(1.0, 0.58, 0.0), UIColor::systemRedColor(), "Icon");
    static const auto media = UIImage::generated({320, 180}, UIColor(0.2, 0.78, 0.35),
                                                 UIColor::systemBlueColor(), "Media");
    return isIcon ? icon : media;
  }
  auto bytes = platform::FileSystem::readFile(source.path);
  if (!bytes) return nullptr;
  return UIImage::imageWithData(platform::Bytes(bytes->begin(), bytes->end()), 2.0);
}

}  // namespace

GADNativeAd::GADNativeAd(const AdScript& script)
    : responseInfo_(script.responseInfo()), revenue_(script.revenue), click_(script.click) {
  if (!script.native) return;
  const NativeAssets& assets = *script.native;
  headline_ = assets.headline;
  body_ = assets.body;
  advertiser_ = assets.advertiser;
  callToAction_ = assets.callToAction;
  if (assets.icon) {
    if (auto image = loadImage(*assets.icon, true)) icon_ = GADNativeAdImage{image};
  }
  if (assets.media) {
    if (auto image = loadImage(*assets.media, false)) {
      mediaContent_ = std::make_shared<GADMediaContent>(image);
    }
  }
}

bool GADNativeAd::recordImpression() {
  if (impressionRecorded_) return false;
  impressionRecorded_ = true;
  auto self = shared_from_this();  // a delegate may drop the last other reference
  if (auto delegate = delegate_.lock()) delegate->nativeAdDidRecordImpression(*this);
  if (auto handler = paidEventHandler_; handler && revenue_) handler(*revenue_);
  return click_;
}

void GADNativeAd::recordClick() {
  if (auto delegate = delegate_.lock()) delegate->nativeAdDidRecordClick(*this);
}

}  // namespace tilo::mediation
