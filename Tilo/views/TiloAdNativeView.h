// The native view for host-made asset views: it owns the platform's native ad view,
// registers the host's views with it (bindViews) and fills them for every loaded ad:
// a missing asset hides its view, an asset view of an unexpected class is left alone.
#pragma once

#include <memory>

#include "Tilo/views/CommonAdNativeView.h"
#include "mediation/GADNativeAdView.h"

namespace tilo {

class TILO_EXPORT TiloAdNativeView : public CommonAdNativeView {
 public:
  // Resolves the unit through the shared SDK (TiloAds::shared()).
  static std::shared_ptr<TiloAdNativeView> create(TiloAdUnit unit, bool autoLoad = true);
  static std::shared_ptr<TiloAdNativeView> create(TiloAdUnit unit, bool autoLoad,
                                                  std::shared_ptr<TiloServiceProtocol> service);
  TiloAdNativeView(TiloAdUnit unit, bool autoLoad, std::shared_ptr<TiloServiceProtocol> service);
  const char* className() const override { return "TiloAdNativeView"; }

  const std::shared_ptr<mediation::GADNativeAdView>& gadNativeAdView() const {
    return gadNativeAdView_;
  }

  void bindViews(std::shared_ptr<platform::UILabel> titleLabel,
                 std::shared_ptr<platform::UILabel> advertiserLabel,
                 std::shared_ptr<platform::UILabel> bodyLabel,
                 std::shared_ptr<platform::UIImageView> iconImageView,
                 std::shared_ptr<platform::UIView> mediaContentView,
                 std::shared_ptr<platform::UIButton> callToActionButton) override;
  void renderAd(const TiloAdNative& ad, const std::shared_ptr<AdNativeLoadable>& loader) override;

 private:
  TiloAdNativeView(TiloAdUnit unit, bool autoLoad,
                   std::shared_ptr<mediation::GADNativeAdView> adView,
                   std::shared_ptr<TiloServiceProtocol> service);

  const std::shared_ptr<mediation::GADNativeAdView> gadNativeAdView_;
};

}  // namespace tilo
