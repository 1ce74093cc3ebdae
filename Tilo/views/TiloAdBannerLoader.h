// Loads banner ads for one resolved ad unit into its platform banner view, and reports
// results, impressions, clicks and paid events to `listener()` with the ad info of the
// ad shown (format from the loaded ad's height: 50 is a banner, anything else an MREC).
//
//   auto loader = TiloAdBannerLoader::create(item, apsSlots);
//   loader->listener()->onAdLoadSuccess = [](auto, std::optional<TiloAdInfo> info) { ... };
//   loader->loadAd();
//
// Main thread only. The platform view holds the loader (its delegate) weakly.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Tilo/base/TiloAppInfo.h"
#include "Tilo/views/AdBannerLoadable.h"

namespace tilo {

// Amazon slots for the two banner formats, from the configuration.
struct BannerApsSlots {
  std::optional<std::string> banner;
  std::optional<std::string> mrec;
};

class TiloAdBannerLoader final : public AdBannerLoadable,
                                 public mediation::GADBannerViewDelegate,
                                 public std::enable_shared_from_this<TiloAdBannerLoader> {
 public:
  static std::shared_ptr<TiloAdBannerLoader> create(TiloAdUnitItem unit, BannerApsSlots slots = {});
  TiloAdBannerLoader(TiloAdUnitItem unit, BannerApsSlots slots);

  std::shared_ptr<platform::UIViewController> rootViewController() const override {
    return rootViewController_.lock();
  }
  void setRootViewController(const std::shared_ptr<platform::UIViewController>& c) override {
    rootViewController_ = c;
  }
  void loadAd() override;
  TiloAdBannerSize bannerSize() const override { return bannerSize_; }
  void setBannerSize(TiloAdBannerSize size) override { bannerSize_ = size; }
  const std::shared_ptr<mediation::GADBannerView>& gadBannerView() const override {
    return gadBannerView_;
  }
  const std::shared_ptr<TiloAdListener<void>>& listener() const override { return listener_; }
  const TiloAdUnitItem& unit() const override { return unit_; }

  // The ad info of the ad the platform view shows now.
  TiloAdInfo adInfo() const;

  void bannerViewDidReceiveAd(mediation::GADBannerView& view) override;
  void bannerViewDidFailToReceiveAdWithError(mediation::GADBannerView& view,
                                             const mediation::NSError& error) override;
  void bannerViewDidRecordImpression(mediation::GADBannerView& view) override;
  void bannerViewDidRecordClick(mediation::GADBannerView& view) override;

 private:
  const TiloAdUnitItem unit_;
  const std::shared_ptr<mediation::GADBannerView> gadBannerView_;
  TiloAdBannerSize bannerSize_ = TiloAdBannerSize::banner;
  const std::shared_ptr<TiloAdListener<void>> listener_ = TiloAdListener<void>::create();
  std::weak_ptr<platform::UIViewController> rootViewController_;
  const BannerApsSlots slots_;
};

}  // namespace tilo
