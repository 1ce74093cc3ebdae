// Loads light popups. Every loadAd() builds a new popup controller whose card loads one
// native ad; on success the listener receives a TiloLightPopupAd that presents exactly
// that controller. Callbacks carry the lightPopup format and no network.
//
//   auto loader = TiloLightPopupAdLoader::create(TiloAdUnit{"popup-unit"});
//   loader->listener()->onAdLoadSuccess = [vc](std::shared_ptr<TiloLightPopupAd> ad,
//                                              std::optional<TiloAdInfo>) { ad->show(vc); };
//   loader->loadAd();
//
// Loads run side by side: three loadAd() calls in a row give three callbacks, each with
// its own popup.
//
// Main thread only. The loader keeps the controllers of its loads in flight and lets each
// go when its load ends (the ad holds it from then on); callbacks hold the loader and the
// controller weakly. Releasing the loader ends its loads in flight without a callback:
// their controllers go with it, and their load-tracker entries are closed.
#pragma once

#include <memory>
#include <vector>

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
  void loadEnded(const std::shared_ptr<TiloLightPopupViewController>& controller);

  const TiloAdUnit unit_;
  const std::shared_ptr<TiloAdListener<TiloLightPopupAd>> listener_;
  std::shared_ptr<TiloPlugin> plugin_;
  const std::shared_ptr<TiloServiceProtocol> service_;
  std::vector<std::shared_ptr<TiloLightPopupViewController>> loading_;  // loads in flight
};

}  // namespace tilo
