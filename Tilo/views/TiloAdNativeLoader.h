// The native view's loader (a host that draws ads itself uses TiloHostDrawnNativeAdLoader):
// loads one native ad per request for a resolved unit and turns it into TiloAdNative.
//
//   auto loader = TiloAdNativeLoader::create(item);
//   loader->loadAd([](Result<TiloAdNative> ad) { ... });
//
// One load waits at a time. Warning: a loadAd() while an earlier one still waits
// replaces it, and the earlier caller is completed at once with the TiloError
// `fullscreenAdAlreadyLoading` ("Replaced by a newer load") so that nobody waits forever.
// A platform answer that arrives with nobody waiting is still kept and reported to
// analytics.
//
// Main thread only; completions run as main-thread tasks of their own. The platform
// loader and the loaded ad hold this loader weakly as their delegate; a completion still
// waiting when the loader is released never runs.
#pragma once

#include <memory>

#include "Tilo/base/TiloAppInfo.h"
#include "Tilo/views/AdNativeLoadable.h"
#include "mediation/GADAdLoader.h"

namespace tilo {

class TiloAdNativeLoader final : public AdNativeLoadable,
                                 public mediation::GADAdLoaderDelegate,
                                 public mediation::GADNativeAdDelegate,
                                 public std::enable_shared_from_this<TiloAdNativeLoader> {
 public:
  static std::shared_ptr<TiloAdNativeLoader> create(TiloAdUnitItem unit);
  explicit TiloAdNativeLoader(TiloAdUnitItem unit);

  const std::shared_ptr<TiloAdListener<void>>& listener() const override { return listener_; }
  double refreshInterval() const override { return unit_.refreshInterval; }
  void loadAd(Completion<TiloAdNative> completion) override;

  const TiloAdUnitItem& unit() const { return unit_; }
  const std::shared_ptr<mediation::GADAdLoader>& adLoader() const { return adLoader_; }
  // The last ad the platform delivered.
  const std::shared_ptr<mediation::GADNativeAd>& nativeAd() const { return nativeAd_; }

  void adLoaderDidReceiveNativeAd(mediation::GADAdLoader& loader,
                                  std::shared_ptr<mediation::GADNativeAd> ad) override;
  void adLoaderDidFailToReceiveAdWithError(mediation::GADAdLoader& loader,
                                           const mediation::NSError& error) override;
  void nativeAdDidRecordImpression(mediation::GADNativeAd& ad) override;
  void nativeAdDidRecordClick(mediation::GADNativeAd& ad) override;

 private:
  TiloAdInfo adInfo(const mediation::GADNativeAd* ad) const;

  const TiloAdUnitItem unit_;
  const std::shared_ptr<mediation::GADAdLoader> adLoader_;
  Completion<TiloAdNative> continuation_;
  std::shared_ptr<mediation::GADNativeAd> nativeAd_;
  const std::shared_ptr<TiloAdListener<void>> listener_ = TiloAdListener<void>::create();
};

}  // namespace tilo
