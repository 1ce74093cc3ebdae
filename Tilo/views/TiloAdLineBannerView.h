// A one-line native ad for thin placements: "AD" badge, headline, divider and a small
// call-to-action pill, centred in whatever size the host gives the view.
//
//   auto line = TiloAdLineBannerView::create(TiloAdUnit{"native-unit"}, /*autoLoad=*/true);
//   line->listener()->onAdLoadSuccess = [](auto unit, auto info) { ... };
//   window->addSubview(line);            // then size it, e.g. 390 × 60; loads when visible
//
// An ad without a call to action shows badge and headline only (pill and divider hidden).
// Main thread only; releasing the view ends its callbacks and timers.
#pragma once

#include <memory>

#include "Tilo/views/TemplateAdLineBannerView.h"

namespace tilo {

class TILO_EXPORT TiloAdLineBannerView : public TemplateAdLineBannerView {
 public:
  // Resolves the unit through the shared SDK (TiloAds::shared()).
  static std::shared_ptr<TiloAdLineBannerView> create(TiloAdUnit unit, bool autoLoad = true);
  static std::shared_ptr<TiloAdLineBannerView> create(TiloAdUnit unit, bool autoLoad,
                                                      std::shared_ptr<TiloServiceProtocol> service);
  using TemplateAdLineBannerView::TemplateAdLineBannerView;
  const char* className() const override { return "TiloAdLineBannerView"; }

  void renderAd(const TiloAdNative& ad, const std::shared_ptr<AdNativeLoadable>& loader) override;
};

}  // namespace tilo
