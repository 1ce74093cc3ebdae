// A banner (320 × 50) or MREC (300 × 250) that a host places in its view tree. It
// resolves its ad unit, embeds the platform banner view centred in itself, loads while
// it is visible and the application active, refreshes a full refresh interval after each
// impression, and retries failures with a growing delay.
//
//   auto banner = TiloAdBannerView::create(TiloAdUnit{"banner-unit"}, TiloAdBannerSize::banner,
//                                          /*autoLoad=*/true);
//   banner->listener()->onAdLoadSuccess = [](auto unit, auto info) { ... };
//   banner->setRootViewController(controller);
//   container->addSubview(banner);   // constrain its position; its size is the banner's
//
// Host callbacks run on the main thread, each inside the ad-callback crash marker.
// Releasing the view ends everything it started: every closure the SDK stores holds it
// weakly, and its timers and subscriptions go with it.
//
// One request is out at a time: a load asked for while one is out (the first automatic
// one, a refresh, a retry) joins it and ends with its answer. A load's entry in the
// ad-load tracker is closed when its answer arrives or the view is released, so a clean
// exit leaves nothing that the next start would report as a crash.
//
// Subclasses override the UIView hooks below and call the base first.
#pragma once

#include <memory>

#include "Tilo/ads/AdLoadStateManager.h"
#include "Tilo/ads/AdRefreshCoordinator.h"
#include "Tilo/ads/TiloAdListener.h"
#include "Tilo/ads/TiloPlugin.h"
#include "Tilo/backend/TiloAdUnitSynchronizer.h"
#include "Tilo/backend/TiloServiceProtocol.h"
#include "Tilo/base/TiloAdUnit.h"
#include "Tilo/base/TiloExport.h"
#include "Tilo/views/AdBannerLoadable.h"
#include "Tilo/views/RefreshingAdView.h"
#include "Tilo/views/TiloAdBannerSize.h"

namespace tilo {

class TILO_EXPORT CommonAdBannerView : public RefreshingAdView,
                                       public HasPlugin,
                                       public PluginRegisterble {
 public:
  using Synchronizer = TiloAdUnitSynchronizer<std::shared_ptr<AdBannerLoadable>>;

  CommonAdBannerView(TiloAdUnit unit, TiloAdBannerSize bannerSize, bool autoLoad,
                     std::shared_ptr<TiloServiceProtocol> service);
  ~CommonAdBannerView() override;
  const char* className() const override { return "TiloAdBannerView"; }

  // Explicit load: now, once the loader exists, or not at all while a load runs.
  void loadAd();

  const std::shared_ptr<TiloAdListener<TiloAdUnit>>& listener() const { return listener_; }
  const TiloAdUnit& unit() const { return unit_; }
  TiloAdBannerSize bannerSize() const { return bannerSize_; }
  bool autoLoad() const { return autoLoad_; }
  bool hasEverLoadedAd() const { return hasEverLoadedAd_; }
  const std::shared_ptr<AdBannerLoadable>& loader() const { return loader_; }
  std::shared_ptr<platform::UIViewController> rootViewController() const {
    return rootViewController_.lock();
  }
  // Reaches the platform banner view only before the loader is configured; later values
  // are kept by the loader.
  void setRootViewController(const std::shared_ptr<platform::UIViewController>& controller);
  std::shared_ptr<TiloPlugin> plugin() const override { return plugin_; }
  void setPlugin(std::shared_ptr<TiloPlugin> plugin) override { plugin_ = std::move(plugin); }

  void initializeView() override;

 private:
  std::weak_ptr<CommonAdBannerView> weakSelf();
  void initializeLoader() override;
  void loaderInitFailed(const TiloError& error);
  void configureLoader(const std::shared_ptr<AdBannerLoadable>& loader);
  bool performAdLoad() override;
  void sendRequest();
  void requestEnded();
  void refresh();
  void embed(const std::shared_ptr<mediation::GADBannerView>& banner);
  void loadSucceeded(const TiloAdInfo& info);
  void loadFailed(const TiloError& error);
  void clicked(const TiloAdInfo& info);
  void impression(const TiloAdInfo& info);

  const std::shared_ptr<Synchronizer> tiloAdUnitSynchronizer_;
  const TiloAdUnit unit_;
  const TiloAdBannerSize bannerSize_;
  const bool autoLoad_;
  std::shared_ptr<AdBannerLoadable> loader_;
  std::shared_ptr<TiloPlugin> plugin_;
  bool hasEverLoadedAd_ = false;
  bool requestOut_ = false;  // a request is waiting for the platform's answer
  const std::shared_ptr<TiloAdListener<AdBannerLoadable>> internalListener_;
  const std::shared_ptr<TiloAdListener<TiloAdUnit>> listener_;
  std::weak_ptr<platform::UIViewController> rootViewController_;
};

}  // namespace tilo
