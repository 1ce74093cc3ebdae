// What the presenter needs from a loaded full-screen platform ad, the same for app-open,
// interstitial and rewarded ads.
//
//   std::unique_ptr<AdMobAdProtocol> ad = makeAdMobAd(interstitial);
//   if (auto refusal = ad->present(nullptr, {})) { /* the platform would not present */ }
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "mediation/GADAdReward.h"
#include "mediation/GADAdValue.h"
#include "mediation/GADAppOpenAd.h"
#include "mediation/GADFullScreenContentDelegate.h"
#include "mediation/GADInterstitialAd.h"
#include "mediation/GADResponseInfo.h"
#include "mediation/GADRewardedAd.h"
#include "mediation/NSError.h"
#include "platform/ui/UIViewController.h"

namespace tilo {

class AdMobAdProtocol {
 public:
  // Runs once the user earned the reward, with the reward read before presenting.
  using RewardAction = std::function<void(std::optional<mediation::GADAdReward>)>;

  virtual ~AdMobAdProtocol() = default;

  virtual const mediation::GADResponseInfo& responseInfo() const = 0;
  // The platform's ready check; its error is discarded.
  virtual bool isReady(const std::shared_ptr<platform::UIViewController>& viewController) const = 0;
  // Presents, or returns the platform's reason not to (then nothing is shown).
  virtual std::optional<mediation::NSError> present(
      const std::shared_ptr<platform::UIViewController>& viewController,
      RewardAction rewardAction) = 0;
  // The server-side verification custom string; only rewarded ads carry one.
  virtual void setCustomData(const std::string& customData) = 0;
  // The platform holds the delegate weakly.
  virtual void setFullScreenContentDelegate(
      std::weak_ptr<mediation::GADFullScreenContentDelegate> delegate) = 0;
  virtual void setPaidEventHandler(std::function<void(const mediation::GADAdValue&)> handler) = 0;
};

std::unique_ptr<AdMobAdProtocol> makeAdMobAd(std::shared_ptr<mediation::GADAppOpenAd> ad);
std::unique_ptr<AdMobAdProtocol> makeAdMobAd(std::shared_ptr<mediation::GADInterstitialAd> ad);
std::unique_ptr<AdMobAdProtocol> makeAdMobAd(std::shared_ptr<mediation::GADRewardedAd> ad);

}  // namespace tilo
