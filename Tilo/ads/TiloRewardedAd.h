// A loaded rewarded ad, delivered by TiloRewardedAdLoader.
//
//   ad->rewardedAdListener()->onEarnedReward =
//       [](std::optional<TiloAdInfo>, std::optional<TiloRewardedItem> item) { grant(item); };
//   ad->setCustomData("level=3");   // the server-side verification custom string
//   ad->show(viewController);
#pragma once

#include <memory>
#include <string>

#include "Tilo/ads/AdPresentable.h"
#include "Tilo/ads/TiloAdListener.h"
#include "Tilo/ads/TiloDisplayListener.h"
#include "Tilo/base/TiloExport.h"

namespace tilo {

class TILO_EXPORT TiloRewardedAd final : public HasAdListener<TiloRewardedAd> {
 public:
  using Listener = TiloAdListener<TiloRewardedAd>;

  // Made by the loader with the presenter and the presenter's own listener.
  static std::shared_ptr<TiloRewardedAd> create(std::shared_ptr<AdPresentable> adPresenter,
                                                std::shared_ptr<Listener> listener);

  const std::shared_ptr<AdPresentable>& adPresenter() const { return adPresenter_; }
  const std::shared_ptr<Listener>& listener() const override { return listener_; }
  const std::shared_ptr<TiloRewardedListener>& rewardedAdListener() const {
    return rewardedAdListener_;
  }
  TiloAdInfo adInfo() const;
  // Asks the platform, without a view controller.
  bool isReady() const;
  // A second show, or one the platform refuses, is silently ignored.
  void show(std::shared_ptr<platform::UIViewController> viewController = nullptr);
  // Accepted for symmetry with the other ad kinds; has no effect.
  void setPlacement(const std::string& placement);
  // Replaces the server-side verification options: the SDK's user id (empty when unset)
  // and this custom string.
  void setCustomData(const std::string& customData);

  // For create() only: the passkey keeps hosts from making ads themselves.
  class Passkey {
    friend class TiloRewardedAd;
    explicit Passkey() = default;
  };
  TiloRewardedAd(Passkey, std::shared_ptr<AdPresentable> adPresenter,
                 std::shared_ptr<Listener> listener);

 private:
  const std::shared_ptr<AdPresentable> adPresenter_;
  const std::shared_ptr<Listener> listener_;
  const std::shared_ptr<TiloRewardedListener> rewardedAdListener_ = TiloRewardedListener::create();
};

}  // namespace tilo
