// A loaded interstitial ad, delivered by TiloInterstitialAdLoader.
//
//   ad->interstitialListener()->onDismiss = [](std::optional<TiloAdInfo>) { resume(); };
//   if (ad->isReady()) ad->show(viewController);
#pragma once

#include <memory>

#include "Tilo/ads/AdPresentable.h"
#include "Tilo/ads/TiloAdListener.h"
#include "Tilo/ads/TiloDisplayListener.h"
#include "Tilo/base/TiloExport.h"

namespace tilo {

class TILO_EXPORT TiloInterstitialAd final : public HasAdListener<TiloInterstitialAd> {
 public:
  using Listener = TiloAdListener<TiloInterstitialAd>;

  // Made by the loader with the presenter and the presenter's own listener.
  static std::shared_ptr<TiloInterstitialAd> create(std::shared_ptr<AdPresentable> adPresenter,
                                                    std::shared_ptr<Listener> listener);

  const std::shared_ptr<AdPresentable>& adPresenter() const { return adPresenter_; }
  // Clicks, impressions and revenue of this ad.
  const std::shared_ptr<Listener>& listener() const override { return listener_; }
  const std::shared_ptr<TiloInterstitialListener>& interstitialListener() const {
    return interstitialListener_;
  }
  TiloAdInfo adInfo() const;
  // Asks the platform, without a view controller.
  bool isReady() const;
  // A second show, or one the platform refuses, is silently ignored.
  void show(std::shared_ptr<platform::UIViewController> viewController = nullptr);

  // For create() only: the passkey keeps hosts from making ads themselves.
  class Passkey {
    friend class TiloInterstitialAd;
    explicit Passkey() = default;
  };
  TiloInterstitialAd(Passkey, std::shared_ptr<AdPresentable> adPresenter,
                     std::shared_ptr<Listener> listener);

 private:
  const std::shared_ptr<AdPresentable> adPresenter_;
  const std::shared_ptr<Listener> listener_;
  const std::shared_ptr<TiloInterstitialListener> interstitialListener_ =
      TiloInterstitialListener::create();
};

}  // namespace tilo
