// What a banner view holds as its loader: the platform banner view it embeds, the
// listener the view wires, and one load per call.
#pragma once

#include <memory>

#include "Tilo/ads/TiloAdListener.h"
#include "Tilo/views/TiloAdBannerSize.h"
#include "mediation/GADBannerView.h"
#include "platform/ui/UIViewController.h"

namespace tilo {

class AdBannerLoadable {
 public:
  virtual ~AdBannerLoadable() = default;
  virtual std::shared_ptr<platform::UIViewController> rootViewController() const = 0;
  virtual void setRootViewController(const std::shared_ptr<platform::UIViewController>&) = 0;
  virtual void loadAd() = 0;

  virtual TiloAdBannerSize bannerSize() const = 0;
  virtual void setBannerSize(TiloAdBannerSize size) = 0;
  virtual const std::shared_ptr<mediation::GADBannerView>& gadBannerView() const = 0;
  // Load results, clicks, impressions and revenue (ad info only, no payload).
  virtual const std::shared_ptr<TiloAdListener<void>>& listener() const = 0;
  virtual const TiloAdUnitItem& unit() const = 0;
};

}  // namespace tilo
