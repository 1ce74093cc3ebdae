// Wraps one loaded full-screen platform ad: readiness, showing, and every platform callback
// turned into listener calls (bracketed by the ad-callback crash marker where they reach
// the host's display listener), analytics events and revenue after the fee.
//
//   auto presenter = TiloAdPresenter<TiloInterstitialAd>::create(makeAdMobAd(gadAd), item,
//                                                                 TiloAdFormat::interstitial);
//   presenter->listener()->onAdImpression = [](std::optional<TiloAdInfo> info) { ... };
//
// The platform holds the presenter weakly (delegate, paid-event handler, reward handler):
// once its ad object is released, every callback ends. A presentation in progress is the
// exception: from a show the platform accepts until the dismissal or the failure to show,
// the presentation owns the presenter, so the host hears the end of what it showed even
// after letting go of the ad.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Tilo/ads/AdMobAdProtocol.h"
#include "Tilo/ads/AdPresentable.h"
#include "Tilo/ads/TiloAdListener.h"
#include "Tilo/base/TiloAppInfo.h"

namespace tilo {

// Ad information from a load response: latency is the sum of the networks' latencies in
// milliseconds (0 without entries), the network "" when the response names none.
TiloAdInfo makeAdInfo(TiloAdFormat format, const std::string& adUnitId,
                      const mediation::GADResponseInfo& responseInfo);

class TiloAdPresenterBase : public AdPresentable,
                            public mediation::GADFullScreenContentDelegate,
                            public std::enable_shared_from_this<TiloAdPresenterBase> {
 public:
  std::shared_ptr<TiloDisplayListener> displayListener() const override { return displayListener_; }
  void setDisplayListener(std::shared_ptr<TiloDisplayListener> listener) override {
    displayListener_ = std::move(listener);
  }
  std::shared_ptr<TiloRewardedListener> rewardedAdListener() const override {
    return rewardedAdListener_;
  }
  void setRewardedAdListener(std::shared_ptr<TiloRewardedListener> listener) override {
    rewardedAdListener_ = std::move(listener);
  }
  TiloAdInfo adInfo() const override;
  void setPlacement(const std::string&) override {}
  void setCustomData(const std::string& customData) override;
  bool isReady(const std::shared_ptr<platform::UIViewController>& viewController) override;
  // A refusal by the platform is dropped: no callback, no log line.
  void show(const std::shared_ptr<platform::UIViewController>& viewController) override;

  void adWillPresentFullScreenContent() override;
  void adDidDismissFullScreenContent() override;
  void didFailToPresentFullScreenContentWithError(const mediation::NSError& error) override;
  void adDidRecordImpression() override;
  void adDidRecordClick() override;

  const TiloAdUnitItem& unit() const { return unit_; }
  TiloAdFormat adFormat() const { return adFormat_; }
  // As the response said when the ad loaded.
  const std::optional<std::string>& network() const { return network_; }
  std::optional<double> latency() const { return latency_; }

 protected:
  TiloAdPresenterBase(std::unique_ptr<AdMobAdProtocol> adMobAd, TiloAdUnitItem unit,
                      TiloAdFormat format);
  // Becomes the platform ad's delegate and paid-event receiver, held weakly by both.
  void attach();
  // Created by the factory only (passkey idiom: make_shared needs a public constructor).
  class Passkey {
    friend class TiloAdPresenterBase;
    template <class>
    friend class TiloAdPresenter;
    Passkey() = default;
  };

  virtual void notifyImpression(const TiloAdInfo& info) = 0;
  virtual void notifyClick(const TiloAdInfo& info) = 0;
  virtual void notifyRevenue(const TiloAdInfo& info, const TiloRevenueInfo& revenue) = 0;

 private:
  // Ends the presentation when the enclosing platform callback returns, however it ends.
  struct PresentationEnd {
    TiloAdPresenterBase& presenter;
    ~PresentationEnd() { presenter.endPresentation(); }
  };
  void beginPresentation();
  void endPresentation();
  // Ends the presentation and tells the host's onFailedToShow.
  void failToShow(const std::string& reason, const TiloError& error);
  void logLine(std::string_view event) const;
  void paidEvent(const mediation::GADAdValue& value);
  void earnedReward(const mediation::GADAdReward& reward);

  const TiloAdUnitItem unit_;
  const TiloAdFormat adFormat_;
  const std::unique_ptr<AdMobAdProtocol> adMobAd_;
  std::optional<std::string> network_;
  std::optional<double> latency_;
  std::shared_ptr<TiloDisplayListener> displayListener_;
  std::shared_ptr<TiloRewardedListener> rewardedAdListener_;
};

// `Ad` is the public ad object whose `listener()` is this presenter's listener.
template <class Ad>
class TiloAdPresenter final : public TiloAdPresenterBase {
 public:
  static std::shared_ptr<TiloAdPresenter> create(std::unique_ptr<AdMobAdProtocol> adMobAd,
                                                 TiloAdUnitItem unit, TiloAdFormat format) {
    auto presenter =
        std::make_shared<TiloAdPresenter>(Passkey(), std::move(adMobAd), std::move(unit), format);
    presenter->attach();
    return presenter;
  }
  TiloAdPresenter(Passkey, std::unique_ptr<AdMobAdProtocol> adMobAd, TiloAdUnitItem unit,
                  TiloAdFormat format)
      : TiloAdPresenterBase(std::move(adMobAd), std::move(unit), format) {}

  const std::shared_ptr<TiloAdListener<Ad>>& listener() const { return listener_; }

 private:
  // Copies: a closure may replace itself while it runs.
  void notifyImpression(const TiloAdInfo& info) override {
    if (auto closure = listener_->onAdImpression) closure(info);
  }
  void notifyClick(const TiloAdInfo& info) override {
    if (auto closure = listener_->onAdClicked) closure(info);
  }
  void notifyRevenue(const TiloAdInfo& info, const TiloRevenueInfo& revenue) override {
    if (auto closure = listener_->onAdInternalEvent) closure(info, revenue);
  }

  const std::shared_ptr<TiloAdListener<Ad>> listener_ = TiloAdListener<Ad>::create();
};

}  // namespace tilo
