#include "Tilo/views/TiloAdNativeView.h"

#include "Tilo/backend/SharedService.h"
#include "Tilo/telemetry/CrashMarkers.h"
#include "Tilo/views/WrappingView.h"

namespace tilo {

using platform::UIButton;
using platform::UIImageView;
using platform::UILabel;

std::shared_ptr<TiloAdNativeView> TiloAdNativeView::create(TiloAdUnit unit, bool autoLoad) {
  return create(std::move(unit), autoLoad, sharedService());
}

std::shared_ptr<TiloAdNativeView> TiloAdNativeView::create(
    TiloAdUnit unit, bool autoLoad, std::shared_ptr<TiloServiceProtocol> service) {
  return platform::makeView<TiloAdNativeView>(std::move(unit), autoLoad, std::move(service));
}

TiloAdNativeView::TiloAdNativeView(TiloAdUnit unit, bool autoLoad,
                                   std::shared_ptr<TiloServiceProtocol> service)
    : TiloAdNativeView(std::move(unit), autoLoad, mediation::GADNativeAdView::create(),
                       std::move(service)) {}

TiloAdNativeView::TiloAdNativeView(TiloAdUnit unit, bool autoLoad,
                                   std::shared_ptr<mediation::GADNativeAdView> adView,
                                   std::shared_ptr<TiloServiceProtocol> service)
    : CommonAdNativeView(std::move(unit), autoLoad, adView, std::move(service)),
      gadNativeAdView_(std::move(adView)) {}

void TiloAdNativeView::bindViews(std::shared_ptr<UILabel> titleLabel,
                                 std::shared_ptr<UILabel> advertiserLabel,
                                 std::shared_ptr<UILabel> bodyLabel,
                                 std::shared_ptr<UIImageView> iconImageView,
                                 std::shared_ptr<platform::UIView> mediaContentView,
                                 std::shared_ptr<UIButton> callToActionButton) {
  setMarker(CrashMarkerCheckpoint::nativeAd,
            CheckpointMetadata::nativeAd(AdMetaData{"bindViews", std::nullopt, std::nullopt}));
  CommonAdNativeView::bindViews(titleLabel, advertiserLabel, bodyLabel, iconImageView,
                                mediaContentView, callToActionButton);
  gadNativeAdView_->setHeadlineView(titleLabel);
  gadNativeAdView_->setAdvertiserView(advertiserLabel);
  gadNativeAdView_->setBodyView(bodyLabel);
  gadNativeAdView_->setIconView(iconImageView);
  gadNativeAdView_->setMediaView(mediaContentView ? WrappingView::wrap(mediaContentView).mediaView
                                                  : nullptr);
  gadNativeAdView_->setCallToActionView(callToActionButton);
  clearMarker(CrashMarkerCheckpoint::nativeAd);
}

void TiloAdNativeView::renderAd(const TiloAdNative& ad, const std::shared_ptr<AdNativeLoadable>&) {
  setMarker(CrashMarkerCheckpoint::nativeAd,
            CheckpointMetadata::nativeAd(AdMetaData{"renderAd", ad.unitId, ad.network}));
  layoutIfNeeded();
  const auto& native = *gadNativeAdView_;
  auto fillLabel = [](const std::shared_ptr<platform::UIView>& view,
                      const std::optional<std::string>& text) {
    auto label = std::dynamic_pointer_cast<UILabel>(view);
    if (!label) return;
    label->setText(text.value_or(""));
    label->setHidden(!text);
  };
  fillLabel(native.headlineView(), ad.title);
  if (auto media = native.mediaView()) {
    media->setUserInteractionEnabled(false);
    const auto* content =
        std::any_cast<std::shared_ptr<mediation::GADMediaContent>>(&ad.mediaContent);
    media->setMediaContent(content ? *content : nullptr);
    media->setHidden(false);
  }
  fillLabel(native.bodyView(), ad.body);
  auto button = std::dynamic_pointer_cast<UIButton>(native.callToActionView());
  if (button) {
    button->setTitle(ad.callToAction, platform::UIControlState::normal);
    button->setHidden(!ad.callToAction);
  }
  if (auto icon = std::dynamic_pointer_cast<UIImageView>(native.iconView())) {
    icon->setImage(ad.icon);
    icon->setHidden(!ad.icon);
  }
  fillLabel(native.advertiserView(), ad.advertiser);
  if (button) button->setUserInteractionEnabled(false);
  const auto* origin = std::any_cast<std::shared_ptr<mediation::GADNativeAd>>(&ad.origin);
  gadNativeAdView_->setNativeAd(origin ? *origin : nullptr);
  clearMarker(CrashMarkerCheckpoint::nativeAd);
}

}  // namespace tilo
