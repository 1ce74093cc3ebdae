// Loads native ads for a host that draws them itself (see TiloHostDrawnNativeAd.h): no view, no
// visibility rules, no refresh. Every loadAd() resolves the unit, loads one ad through its
// own platform loader and hands a new TiloHostDrawnNativeAd to onAdLoadSuccess; loads run side by
// side.
//
//   auto loader = TiloHostDrawnNativeAdLoader::create(TiloAdUnit{"native"});
//   loader->listener()->onAdLoadSuccess = [](std::shared_ptr<TiloHostDrawnNativeAd> ad,
//                                            std::optional<TiloAdInfo>) { ... };
//   loader->listener()->onAdImpression = ...;       // after ad->recordImpression()
//   loader->loadAd();
//
// The listener hears what a native view's does, with the same ad info: the success info
// names no network, click and impression infos do. onAdInternalEvent receives each paid
// event (revenue after the fee), which also goes to a registered plugin.
//
// Main thread only. Releasing the loader ends its loads in flight without a callback (and
// closes their ad-load tracker entry); ads it handed over keep working, unheard.
#pragma once

#include <memory>
#include <vector>

#include "Tilo/ads/TiloAdListener.h"
#include "Tilo/ads/TiloPlugin.h"
#include "Tilo/backend/TiloAdUnitSynchronizer.h"
#include "Tilo/backend/TiloServiceProtocol.h"
#include "Tilo/base/TiloAdUnit.h"
#include "Tilo/hostdrawn/TiloHostDrawnNativeAd.h"

namespace tilo {

class TILO_EXPORT TiloHostDrawnNativeAdLoader
    : public HasPlugin,
      public PluginRegisterble,
      public std::enable_shared_from_this<TiloHostDrawnNativeAdLoader> {
 public:
  using Synchronizer = TiloAdUnitSynchronizer<std::shared_ptr<AdNativeLoadable>>;

  // Resolves the unit through the shared SDK (TiloAds::shared()).
  static std::shared_ptr<TiloHostDrawnNativeAdLoader> create(TiloAdUnit unit);
  static std::shared_ptr<TiloHostDrawnNativeAdLoader> create(
      TiloAdUnit unit, std::shared_ptr<TiloServiceProtocol> service);
  TiloHostDrawnNativeAdLoader(TiloAdUnit unit, std::shared_ptr<TiloServiceProtocol> service);
  ~TiloHostDrawnNativeAdLoader() override;

  const TiloAdUnit& unit() const { return unit_; }
  const std::shared_ptr<TiloAdListener<TiloHostDrawnNativeAd>>& listener() const {
    return listener_;
  }
  std::shared_ptr<TiloPlugin> plugin() const override { return plugin_; }
  void setPlugin(std::shared_ptr<TiloPlugin> plugin) override { plugin_ = std::move(plugin); }

  void loadAd();

 private:
  void loaderReady(const std::shared_ptr<AdNativeLoadable>& loader);
  void loadEnded(const std::shared_ptr<AdNativeLoadable>& loader,
                 std::optional<Result<TiloAdNative>> result);
  void failed(const TiloError& error);

  const TiloAdUnit unit_;
  const std::shared_ptr<TiloAdListener<TiloHostDrawnNativeAd>> listener_;
  std::shared_ptr<TiloPlugin> plugin_;
  const std::shared_ptr<Synchronizer> synchronizer_;
  std::vector<std::shared_ptr<AdNativeLoadable>> loading_;  // loads in flight
};

}  // namespace tilo
