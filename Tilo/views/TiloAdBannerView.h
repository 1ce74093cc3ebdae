// The public banner and MREC view; all behaviour is CommonAdBannerView's.
#pragma once

#include <memory>

#include "Tilo/views/CommonAdBannerView.h"

namespace tilo {

class TILO_EXPORT TiloAdBannerView : public CommonAdBannerView {
 public:
  // Resolves the unit through the shared SDK (TiloAds::shared()).
  static std::shared_ptr<TiloAdBannerView> create(TiloAdUnit unit, TiloAdBannerSize bannerSize,
                                                  bool autoLoad = true);
  static std::shared_ptr<TiloAdBannerView> create(TiloAdUnit unit, TiloAdBannerSize bannerSize,
                                                  bool autoLoad,
                                                  std::shared_ptr<TiloServiceProtocol> service);

  using CommonAdBannerView::CommonAdBannerView;
};

}  // namespace tilo
