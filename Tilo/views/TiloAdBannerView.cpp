#include "Tilo/views/TiloAdBannerView.h"

#include "Tilo/backend/SharedService.h"

namespace tilo {

std::shared_ptr<TiloAdBannerView> TiloAdBannerView::create(TiloAdUnit unit,
                                                           TiloAdBannerSize bannerSize,
                                                           bool autoLoad) {
  return create(std::move(unit), bannerSize, autoLoad, sharedService());
}

std::shared_ptr<TiloAdBannerView> TiloAdBannerView::create(
    TiloAdUnit unit, TiloAdBannerSize bannerSize, bool autoLoad,
    std::shared_ptr<TiloServiceProtocol> service) {
  return platform::makeView<TiloAdBannerView>(std::move(unit), bannerSize, autoLoad,
                                              std::move(service));
}

}  // namespace tilo
