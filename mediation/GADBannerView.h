// The platform's banner view: loads one ad at a time into itself, records the
// impression once the ad is seen, and reports through its delegate.
//
//   auto banner = GADBannerView::create();
//   banner->setAdSize(GADAdSizeFromCGSize({320, 50}));
//   banner->setAdUnitID(item.mediationAdUnitId);
//   banner->setDelegate(loader);          // held weakly
//   banner->loadRequest(GADRequest::create());
//
// A real bid (demand/OpenRtbSource.h) draws its assets (NativeBannerContentView) and fires
// its notices: the impression's with the impression, the click trackers with a click.
//
// Scripted behaviour (AdSource): after the unit's "delayMs" the delegate hears
// bannerViewDidReceiveAd (the ad size becomes the script's "adSize" when it has one) or
// bannerView:didFailToReceiveAdWithError with the script's "error". A new loadRequest
// supersedes one still waiting: only the latest answers. The impression is recorded once
// per ad, when the view passes the impression check (ImpressionWatcher.h); then the paid
// event ("revenue") and, with "click", one tap on the banner's centre through the
// window, so a covered banner is not clicked. Every tap that reaches the banner while it
// shows an ad is a click.
//
// Main thread only. Pending deliveries and the impression check hold the view weakly.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "mediation/AdSource.h"
#include "mediation/GADAdSize.h"
#include "mediation/GADAdValue.h"
#include "mediation/GADRequest.h"
#include "mediation/GADResponseInfo.h"
#include "mediation/ImpressionWatcher.h"
#include "mediation/NSError.h"
#include "platform/ui/UIImageView.h"
#include "platform/ui/UIView.h"
#include "platform/ui/UIViewController.h"

namespace tilo::mediation {

class GADBannerView;

class GADBannerViewDelegate {
 public:
  virtual ~GADBannerViewDelegate() = default;
  virtual void bannerViewDidReceiveAd(GADBannerView&) {}
  virtual void bannerViewDidFailToReceiveAdWithError(GADBannerView&, const NSError&) {}
  virtual void bannerViewDidRecordImpression(GADBannerView&) {}
  virtual void bannerViewDidRecordClick(GADBannerView&) {}
  virtual void bannerViewWillPresentScreen(GADBannerView&) {}
  virtual void bannerViewWillDismissScreen(GADBannerView&) {}
  virtual void bannerViewDidDismissScreen(GADBannerView&) {}
};

class GADBannerView : public platform::UIView {
 public:
  static std::shared_ptr<GADBannerView> create();
  GADBannerView();
  const char* className() const override { return "GADBannerView"; }

  const std::string& adUnitID() const { return adUnitId_; }
  void setAdUnitID(std::string adUnitId) { adUnitId_ = std::move(adUnitId); }
  std::shared_ptr<platform::UIViewController> rootViewController() const {
    return rootViewController_.lock();
  }
  void setRootViewController(const std::shared_ptr<platform::UIViewController>& controller) {
    rootViewController_ = controller;
  }
  const GADAdSize& adSize() const { return adSize_; }
  void setAdSize(GADAdSize size);
  void setDelegate(std::weak_ptr<GADBannerViewDelegate> delegate) {
    delegate_ = std::move(delegate);
  }
  void setPaidEventHandler(std::function<void(const GADAdValue&)> handler) {
    paidEventHandler_ = std::move(handler);
  }
  // The response of the ad shown now; absent before the first fill.
  const std::optional<GADResponseInfo>& responseInfo() const { return responseInfo_; }
  void loadRequest(const std::shared_ptr<GADRequest>& request);

  bool hasAd() const { return static_cast<bool>(script_); }
  bool impressionRecorded() const { return impressionRecorded_; }

  void initializeView() override;
  void didMoveToWindow() override;
  void layoutSubviews() override;
  bool handleTap(const platform::CGPoint& point) override;
  platform::CGSize intrinsicContentSize() const override { return adSize_.size; }

 private:
  void deliver(std::uint64_t generation, const AdScript& script);
  void recordImpression();
  std::shared_ptr<GADBannerViewDelegate> delegate() const { return delegate_.lock(); }

  std::string adUnitId_;
  std::weak_ptr<platform::UIViewController> rootViewController_;
  GADAdSize adSize_;
  std::weak_ptr<GADBannerViewDelegate> delegate_;
  std::function<void(const GADAdValue&)> paidEventHandler_;
  std::optional<GADResponseInfo> responseInfo_;
  std::optional<AdScript> script_;  // of the ad shown now
  std::uint64_t generation_ = 0;
  bool impressionRecorded_ = false;
  std::shared_ptr<platform::UIImageView> content_;
  std::shared_ptr<platform::UIView> assets_;  // a real bid's creative, drawn from its assets
  ImpressionWatcher impression_;
};

}  // namespace tilo::mediation
