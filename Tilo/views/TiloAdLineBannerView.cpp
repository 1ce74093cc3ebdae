#include "Tilo/views/TiloAdLineBannerView.h"

#include "Tilo/backend/SharedService.h"

namespace tilo {

std::shared_ptr<TiloAdLineBannerView> TiloAdLineBannerView::create(TiloAdUnit unit, bool autoLoad) {
  return create(std::move(unit), autoLoad, sharedService());
}

std::shared_ptr<TiloAdLineBannerView> TiloAdLineBannerView::create(
    TiloAdUnit unit, bool autoLoad, std::shared_ptr<TiloServiceProtocol> service) {
  return platform::makeView<TiloAdLineBannerView>(std::move(unit), autoLoad, std::move(service));
}

void TiloAdLineBannerView::renderAd(const TiloAdNative& ad,
                                    const std::shared_ptr<AdNativeLoadable>& loader) {
  TiloAdNativeView::renderAd(ad, loader);
  const auto& pill = fakeCTALabel();
  pill->setText(ad.callToAction.value_or(""));
  pill->setHidden(!ad.callToAction);
  dividerView()->setHidden(pill->isHidden());
  adMarkButton()->setUserInteractionEnabled(false);
  internalTitleLabel()->setUserInteractionEnabled(false);
  dividerView()->setUserInteractionEnabled(false);
  pill->setUserInteractionEnabled(false);
  textStackView()->setUserInteractionEnabled(false);
}

}  // namespace tilo
