#include "mediation/GADBannerView.h"

#include <cmath>
#include <utility>

#include "mediation/NativeBannerContentView.h"
#include "mediation/TestCreatives.h"
#include "mediation/demand/BidNotices.h"
#include "mediation/demand/Demand.h"
#include "platform/Application.h"
#include "platform/ui/NSLayoutConstraint.h"
#include "platform/ui/UIWindow.h"

namespace tilo::mediation {

std::shared_ptr<GADBannerView> GADBannerView::create() {
  return platform::makeView<GADBannerView>();
}

GADBannerView::GADBannerView() = default;

void GADBannerView::initializeView() {
  content_ = platform::UIImageView::create();
  content_->setHidden(true);
  content_->setFrame(bounds());
  addSubview(content_);
}

void GADBannerView::setAdSize(GADAdSize size) {
  adSize_ = size;
  invalidateIntrinsicContentSize();
}

void GADBannerView::loadRequest(const std::shared_ptr<GADRequest>& request) {
  const std::uint64_t generation = ++generation_;
  std::weak_ptr<GADBannerView> weak = std::static_pointer_cast<GADBannerView>(shared_from_this());
  const std::pair size{static_cast<int>(std::lround(adSize_.size.width)),
                       static_cast<int>(std::lround(adSize_.size.height))};
  demand::Demand::load(demand::DemandRequest{"banner", adUnitId_, request, size},
                       [weak, generation](const AdScript& script) {
                         if (auto self = weak.lock()) self->deliver(generation, script);
                       });
}

void GADBannerView::deliver(std::uint64_t generation, const AdScript& script) {
  if (generation != generation_) return;  // superseded by a newer request
  if (!script.fill) {
    if (auto target = delegate())
      target->bannerViewDidFailToReceiveAdWithError(*this, script.error);
    return;
  }
  if (script.adSize) {
    setAdSize(GADAdSizeFromCGSize(
        {static_cast<double>(script.adSize->first), static_cast<double>(script.adSize->second)}));
  }
  responseInfo_ = script.responseInfo();
  script_ = script;
  impressionRecorded_ = false;
  if (assets_) assets_->removeFromSuperview();
  assets_.reset();
  if (script.notices && script.native) {
    // A real bid: its assets drawn as a banner.
    assets_ = NativeBannerContentView::create(TestCreatives::creativeFor(script, "banner"));
    assets_->setFrame(bounds());
    addSubview(assets_);
    content_->setHidden(true);
  } else {
    content_->setImage(
        TestCreatives::bannerPicture(static_cast<int>(std::lround(adSize_.size.width)),
                                     static_cast<int>(std::lround(adSize_.size.height))));
    content_->setHidden(false);
    content_->setFrame(bounds());
  }
  if (auto target = delegate()) target->bannerViewDidReceiveAd(*this);
  // The delegate may have released or reloaded this view.
  if (!script_ || impressionRecorded_) return;
  std::weak_ptr<GADBannerView> weak = std::static_pointer_cast<GADBannerView>(shared_from_this());
  impression_.start(weak, [weak] {
    if (auto self = weak.lock()) self->recordImpression();
  });
}

void GADBannerView::recordImpression() {
  if (impressionRecorded_ || !script_) return;
  impressionRecorded_ = true;
  const AdScript script = *script_;
  auto self = shared_from_this();  // a delegate may release us
  if (auto target = delegate()) target->bannerViewDidRecordImpression(*this);
  if (script.notices) script.notices->impression();
  if (auto handler = paidEventHandler_; handler && script.revenue) handler(*script.revenue);
  if (script.click) {
    if (auto window = this->window()) {
      const platform::CGRect box = bounds();
      window->tap(convertPointToView({box.midX(), box.midY()}, window.get()));
    }
  }
}

void GADBannerView::didMoveToWindow() {
  UIView::didMoveToWindow();
  impression_.checkNow();
}

void GADBannerView::layoutSubviews() {
  UIView::layoutSubviews();
  content_->setFrame(bounds());
  if (assets_) assets_->setFrame(bounds());
  impression_.checkNow();
}

bool GADBannerView::handleTap(const platform::CGPoint&) {
  if (!script_) return false;
  const auto destination = TestCreatives::bannerClickUrl(*script_);
  auto self = shared_from_this();  // a delegate may release us
  const auto notices = script_->notices;
  if (auto target = delegate()) target->bannerViewDidRecordClick(*this);
  if (notices) notices->click();
  if (destination) platform::Application::shared().openURL(*destination);
  return true;
}

}  // namespace tilo::mediation
