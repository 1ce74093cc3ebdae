// What every native view shares: resolving the unit, the load state, retry and refresh,
// the host listener with crash markers around each call, and revenue to a plugin.
// Subclasses supply the container the ad lives in (`adView`) and lay assets out in
// renderAd; every view the host adds with addSubview goes into that container.
//
//   auto native = TiloAdNativeView::create(TiloAdUnit{"native-unit"}, /*autoLoad=*/true);
//   native->addSubview(title);  ...                       // host-made asset views
//   native->bindViews(title, advertiser, body, icon, media, cta);
//   native->listener()->onAdLoadSuccess = [](auto unit, auto info) { ... };
//   window->addSubview(native);                            // loads when visible
//
// Subclassing (the popup and line-banner templates): override initializeView (call the
// base first), bindViews, renderAd (the base renders nothing) and the UIView hooks,
// always calling the base. Subclasses add their own structure with addSubviewToSelf.
//
// One load runs at a time: a load asked for while one runs (loadAd() during a refresh, a
// refresh during a retry) joins it and ends with its answer, one callback for both. A
// view with autoLoad that is already on screen when its unit resolves loads at once.
//
// Main thread only. Releasing the view ends its loads' callbacks, timers and
// subscriptions: every stored closure holds it weakly. A load still out then closes its
// ad-load tracker entry, so the next start reports no crash for it.
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
#include "Tilo/views/AdNativeLoadable.h"
#include "Tilo/views/RefreshingAdView.h"
#include "Tilo/views/TiloAdNative.h"
#include "platform/ui/UIButton.h"
#include "platform/ui/UIImageView.h"
#include "platform/ui/UILabel.h"

namespace tilo {

class TILO_EXPORT CommonAdNativeView : public RefreshingAdView,
                                       public HasPlugin,
                                       public PluginRegisterble {
 public:
  using Synchronizer = TiloAdUnitSynchronizer<std::shared_ptr<AdNativeLoadable>>;

  // `adView` is the container that fills this view. The loader of the resolved unit is a
  // TiloAdNativeLoader.
  CommonAdNativeView(TiloAdUnit unit, bool autoLoad, std::shared_ptr<platform::UIView> adView,
                     std::shared_ptr<TiloServiceProtocol> service);
  ~CommonAdNativeView() override;

  void loadAd();
  // Tells the view which host views show which asset; the base only stores them.
  virtual void bindViews(std::shared_ptr<platform::UILabel> titleLabel,
                         std::shared_ptr<platform::UILabel> advertiserLabel,
                         std::shared_ptr<platform::UILabel> bodyLabel,
                         std::shared_ptr<platform::UIImageView> iconImageView,
                         std::shared_ptr<platform::UIView> mediaContentView,
                         std::shared_ptr<platform::UIButton> callToActionButton);
  // Called for every loaded ad before the host hears of it. The base does nothing.
  virtual void renderAd(const TiloAdNative& ad, const std::shared_ptr<AdNativeLoadable>& loader);

  // Adds to `adView` instead of this view.
  void addSubview(const std::shared_ptr<platform::UIView>& view) override;
  // This view's own addSubview, for a subclass's structure.
  void addSubviewToSelf(const std::shared_ptr<platform::UIView>& view) { UIView::addSubview(view); }

  const std::shared_ptr<TiloAdListener<TiloAdUnit>>& listener() const { return listener_; }
  const TiloAdUnit& unit() const { return unit_; }
  bool autoLoad() const { return autoLoad_; }
  bool hasEverLoadedAd() const { return hasEverLoadedAd_; }
  const std::shared_ptr<platform::UIView>& adView() const { return adView_; }
  const std::shared_ptr<AdNativeLoadable>& loader() const { return loader_; }
  std::shared_ptr<TiloPlugin> plugin() const override { return plugin_; }
  void setPlugin(std::shared_ptr<TiloPlugin> plugin) override { plugin_ = std::move(plugin); }

  const std::shared_ptr<platform::UILabel>& titleLabel() const { return titleLabel_; }
  const std::shared_ptr<platform::UILabel>& advertiserLabel() const { return advertiserLabel_; }
  const std::shared_ptr<platform::UILabel>& bodyLabel() const { return bodyLabel_; }
  const std::shared_ptr<platform::UIImageView>& iconImageView() const { return iconImageView_; }
  const std::shared_ptr<platform::UIView>& mediaContentView() const { return mediaContentView_; }
  const std::shared_ptr<platform::UIButton>& callToActionButton() const {
    return callToActionButton_;
  }

  void initializeView() override;

 protected:
  std::weak_ptr<CommonAdNativeView> weakSelf();

 private:
  void initializeLoader() override;
  void configureLoader(const std::shared_ptr<AdNativeLoadable>& loader);
  bool performAdLoad() override;
  void runLoadSequence();
  void loadFinished(const std::shared_ptr<AdNativeLoadable>& loader, Result<TiloAdNative> result);
  void refresh();

  std::shared_ptr<platform::UILabel> titleLabel_;
  std::shared_ptr<platform::UILabel> advertiserLabel_;
  std::shared_ptr<platform::UILabel> bodyLabel_;
  std::shared_ptr<platform::UIImageView> iconImageView_;
  std::shared_ptr<platform::UIView> mediaContentView_;
  std::shared_ptr<platform::UIButton> callToActionButton_;
  std::shared_ptr<TiloPlugin> plugin_;
  const std::shared_ptr<platform::UIView> adView_;
  const std::shared_ptr<Synchronizer> tiloAdUnitSynchronizer_;
  const TiloAdUnit unit_;
  std::shared_ptr<AdNativeLoadable> loader_;
  const bool autoLoad_;
  bool hasEverLoadedAd_ = false;
  bool loadRunning_ = false;  // a load sequence waits for its answer
  const std::shared_ptr<TiloAdListener<AdNativeLoadable>> internalListener_;
  const std::shared_ptr<TiloAdListener<TiloAdUnit>> listener_;
};

}  // namespace tilo
