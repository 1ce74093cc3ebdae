// The container of a native ad's asset views. Registering the host's views tells the
// platform which view shows which asset; assigning `nativeAd` starts watching for the
// impression (ImpressionWatcher.h) and makes the registered asset views clickable.
//
// Scripted behaviour: once the impression is recorded and the script has "click", the
// simulated user taps the centre of the call-to-action view (else of the first
// registered asset view) through the window, so a hidden or covered ad is not clicked.
// A tap reaching this view inside a registered, visible asset view is a click.
//
// Asset views are held weakly, as the platform does; the host's view tree owns them.
#pragma once

#include <memory>
#include <vector>

#include "mediation/GADMediaView.h"
#include "mediation/GADNativeAd.h"
#include "mediation/ImpressionWatcher.h"
#include "platform/ui/UIView.h"

namespace tilo::mediation {

class GADNativeAdView : public platform::UIView {
 public:
  static std::shared_ptr<GADNativeAdView> create();
  const char* className() const override { return "GADNativeAdView"; }

  std::shared_ptr<platform::UIView> headlineView() const { return headlineView_.lock(); }
  void setHeadlineView(const std::shared_ptr<platform::UIView>& view) { headlineView_ = view; }
  std::shared_ptr<platform::UIView> advertiserView() const { return advertiserView_.lock(); }
  void setAdvertiserView(const std::shared_ptr<platform::UIView>& view) { advertiserView_ = view; }
  std::shared_ptr<platform::UIView> bodyView() const { return bodyView_.lock(); }
  void setBodyView(const std::shared_ptr<platform::UIView>& view) { bodyView_ = view; }
  std::shared_ptr<platform::UIView> iconView() const { return iconView_.lock(); }
  void setIconView(const std::shared_ptr<platform::UIView>& view) { iconView_ = view; }
  std::shared_ptr<platform::UIView> callToActionView() const { return callToActionView_.lock(); }
  void setCallToActionView(const std::shared_ptr<platform::UIView>& view) {
    callToActionView_ = view;
  }
  std::shared_ptr<GADMediaView> mediaView() const { return mediaView_.lock(); }
  void setMediaView(const std::shared_ptr<GADMediaView>& view) { mediaView_ = view; }

  const std::shared_ptr<GADNativeAd>& nativeAd() const { return nativeAd_; }
  void setNativeAd(std::shared_ptr<GADNativeAd> ad);

  void didMoveToWindow() override;
  void layoutSubviews() override;
  bool handleTap(const platform::CGPoint& point) override;

 private:
  std::vector<std::shared_ptr<platform::UIView>> assetViews() const;
  void impressionSeen();

  std::weak_ptr<platform::UIView> headlineView_, advertiserView_, bodyView_, iconView_,
      callToActionView_;
  std::weak_ptr<GADMediaView> mediaView_;
  std::shared_ptr<GADNativeAd> nativeAd_;
  ImpressionWatcher impression_;
};

}  // namespace tilo::mediation
