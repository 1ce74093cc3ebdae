// Loads light popups. Every loadAd() builds a new popup controller whose card loads one
// native ad; on success the listener receives a TiloLightPopupAd that presents exactly
// that controller. Callbacks carry the lightPopup format and no network.
//
//   auto loader = TiloLightPopupAdLoader::create(TiloAdUnit{"popup-unit"});
//   loader->listener()->onAdLoadSuccess = [vc](std::shared_ptr<TiloLightPopupAd> ad,
//                                              std::optional<TiloAdInfo>) { ad->show(vc); };
//   loader->loadAd();
//
// Main thread only. The loader keeps the controller of the load in flight and lets it go
// when the load ends (the ad holds it from then on); callbacks hold the loader and the
// controller weakly, so releasing the loader mid-load ends that load silently.
#pragma once

#include <memory>

#include "Tilo/ads/TiloAdListener.h"
#include "Tilo/ads/TiloPlugin.h"
#include "Tilo/views/TiloLightPopupAd.h"

namespace tilo {

class TILO_EXPORT TiloLightPopupAdLoader
    : public HasPlugin,
      public PluginRegisterble,
      public std::enable_shared_from_this<TiloLightPopupAdLoader> {
 public:
  // Resolves the unit through the shared SDK (TiloAds::shared()).
  static std::shared_ptr<TiloLightPopupAdLoader> create(TiloAdUnit unit);
  static std::shared_ptr<TiloLightPopupAdLoader> create(
      TiloAdUnit unit, std::shared_ptr<TiloServiceProtocol> service);
  TiloLightPopupAdLoader(TiloAdUnit unit, std::shared_ptr<TiloServiceProtocol> service);

  const TiloAdUnit& unit() const { return unit_; }
  const std::shared_ptr<TiloAdListener<TiloLightPopupAd>>& listener() const { return listener_; }
  std::shared_ptr<TiloPlugin> plugin() const override { return plugin_; }
  void setPlugin(std::shared_ptr<TiloPlugin> plugin) override { plugin_ = std::move(plugin); }

  void loadAd();

 private:
  void startLoad();

  const TiloAdUnit unit_;
  const std::shared_ptr<TiloAdListener<TiloLightPopupAd>> listener_;
  std::shared_ptr<TiloPlugin> plugin_;
  const std::shared_ptr<TiloServiceProtocol> service_;
  std::shared_ptr<TiloLightPopupViewController> loading_;  // the load in flight
};

}  // namespace tilo
