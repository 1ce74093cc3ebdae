// One loaded native ad: its assets, response, delegate and paid-event handler. Made by
// GADAdLoader; shown by assigning it to a GADNativeAdView, which records its impression
// and clicks.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "mediation/AdSource.h"
#include "mediation/GADAdValue.h"
#include "mediation/GADMediaContent.h"
#include "mediation/GADResponseInfo.h"
#include "platform/ui/UIImage.h"

namespace tilo::mediation {

class GADNativeAd;

struct GADNativeAdImage {
  std::shared_ptr<platform::UIImage> image;
};

class GADNativeAdDelegate {
 public:
  virtual ~GADNativeAdDelegate() = default;
  virtual void nativeAdDidRecordImpression(GADNativeAd&) {}
  virtual void nativeAdDidRecordClick(GADNativeAd&) {}
};

class GADNativeAd : public std::enable_shared_from_this<GADNativeAd> {
 public:
  // The assets of `script.native`, else the built-in test creative when the script asks
  // for it, else none.
  explicit GADNativeAd(const AdScript& script);

  const std::optional<std::string>& headline() const { return headline_; }
  const std::optional<std::string>& body() const { return body_; }
  const std::optional<std::string>& advertiser() const { return advertiser_; }
  const std::optional<std::string>& callToAction() const { return callToAction_; }
  const std::optional<GADNativeAdImage>& icon() const { return icon_; }
  // Absent when the ad has no media.
  const std::shared_ptr<GADMediaContent>& mediaContent() const { return mediaContent_; }
  const GADResponseInfo& responseInfo() const { return responseInfo_; }

  void setDelegate(std::weak_ptr<GADNativeAdDelegate> delegate) { delegate_ = std::move(delegate); }
  void setPaidEventHandler(std::function<void(const GADAdValue&)> handler) {
    paidEventHandler_ = std::move(handler);
  }

  // Called by GADNativeAdView. The impression counts once and is followed by the paid
  // event; returns whether the script asks for a click after it.
  bool recordImpression();
  // Tells the delegate, then hands the destination (if any) to the host to open.
  void recordClick();
  const std::optional<std::string>& clickUrl() const { return clickUrl_; }
  bool impressionRecorded() const { return impressionRecorded_; }

 private:
  std::optional<std::string> headline_, body_, advertiser_, callToAction_, clickUrl_;
  std::optional<GADNativeAdImage> icon_;
  std::shared_ptr<GADMediaContent> mediaContent_;
  GADResponseInfo responseInfo_;
  std::optional<GADAdValue> revenue_;
  bool click_ = false;
  bool impressionRecorded_ = false;
  std::shared_ptr<demand::BidNotices> notices_;  // a real bid's; its loss notice goes with it
  std::weak_ptr<GADNativeAdDelegate> delegate_;
  std::function<void(const GADAdValue&)> paidEventHandler_;
};

}  // namespace tilo::mediation
