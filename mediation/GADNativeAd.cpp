#include "mediation/GADNativeAd.h"

#include "mediation/TestCreatives.h"
#include "mediation/demand/BidNotices.h"
#include "platform/Application.h"

namespace tilo::mediation {

GADNativeAd::GADNativeAd(const AdScript& script)
    : responseInfo_(script.responseInfo()),
      revenue_(script.revenue),
      click_(script.click),
      notices_(script.notices) {
  auto creative = TestCreatives::nativeCreativeFor(script);
  if (!creative) return;
  headline_ = creative->headline;
  body_ = creative->body;
  advertiser_ = creative->advertiser;
  callToAction_ = creative->callToAction;
  clickUrl_ = creative->clickUrl;
  if (creative->icon) icon_ = GADNativeAdImage{creative->icon};
  if (creative->media) mediaContent_ = std::make_shared<GADMediaContent>(creative->media);
}

bool GADNativeAd::recordImpression() {
  if (impressionRecorded_) return false;
  impressionRecorded_ = true;
  auto self = shared_from_this();  // a delegate may drop the last other reference
  if (auto delegate = delegate_.lock()) delegate->nativeAdDidRecordImpression(*this);
  if (notices_) notices_->impression();
  if (auto handler = paidEventHandler_; handler && revenue_) handler(*revenue_);
  return click_;
}

void GADNativeAd::recordClick() {
  auto self = shared_from_this();  // a delegate may drop the last other reference
  if (auto delegate = delegate_.lock()) delegate->nativeAdDidRecordClick(*this);
  if (notices_) notices_->click();
  if (clickUrl_) platform::Application::shared().openURL(*clickUrl_);
}

}  // namespace tilo::mediation
