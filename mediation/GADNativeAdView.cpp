#include "mediation/GADNativeAdView.h"

#include "platform/ui/UIWindow.h"

namespace tilo::mediation {

std::shared_ptr<GADNativeAdView> GADNativeAdView::create() {
  return platform::makeView<GADNativeAdView>();
}

std::vector<std::shared_ptr<platform::UIView>> GADNativeAdView::assetViews() const {
  std::vector<std::shared_ptr<platform::UIView>> views;
  for (auto view :
       {callToActionView(), headlineView(), std::shared_ptr<platform::UIView>(mediaView()),
        iconView(), bodyView(), advertiserView()}) {
    if (view) views.push_back(std::move(view));
  }
  return views;
}

void GADNativeAdView::setNativeAd(std::shared_ptr<GADNativeAd> ad) {
  impression_.stop();
  nativeAd_ = std::move(ad);
  if (!nativeAd_ || nativeAd_->impressionRecorded()) return;
  std::weak_ptr<GADNativeAdView> weak =
      std::static_pointer_cast<GADNativeAdView>(shared_from_this());
  // Not at once: the ad is assigned while it is being rendered, before anyone saw it.
  impression_.start(
      weak,
      [weak] {
        if (auto self = weak.lock()) self->impressionSeen();
      },
      /*checkAtOnce=*/false);
}

void GADNativeAdView::impressionSeen() {
  auto self = shared_from_this();  // the delegate may release this view
  auto ad = nativeAd_;
  if (!ad || !ad->recordImpression()) return;
  auto window = this->window();
  if (!window || nativeAd_ != ad) return;
  for (const auto& view : assetViews()) {
    if (view->isHidden() || !view->isDescendantOfView(this)) continue;
    const platform::CGRect box = view->bounds();
    window->tap(view->convertPointToView({box.midX(), box.midY()}, window.get()));
    return;
  }
}

void GADNativeAdView::didMoveToWindow() {
  UIView::didMoveToWindow();
  impression_.checkNow();
}

void GADNativeAdView::layoutSubviews() {
  UIView::layoutSubviews();
  impression_.checkNow();
}

bool GADNativeAdView::handleTap(const platform::CGPoint& point) {
  if (!nativeAd_) return false;
  for (const auto& view : assetViews()) {
    if (view->isHidden() || !view->isDescendantOfView(this)) continue;
    if (view->convertRect(view->bounds(), this).contains(point)) {
      nativeAd_->recordClick();
      return true;
    }
  }
  return false;
}

}  // namespace tilo::mediation
