#include "Tilo/ads/AdMobAdProtocol.h"

#include "Tilo/backend/SharedService.h"

namespace tilo {
namespace {

using mediation::GADServerSideVerificationOptions;
using mediation::NSError;
using ViewController = std::shared_ptr<platform::UIViewController>;

template <class GADAd>
class AdMobAdBase : public AdMobAdProtocol {
 public:
  explicit AdMobAdBase(std::shared_ptr<GADAd> ad) : ad_(std::move(ad)) {}

  const mediation::GADResponseInfo& responseInfo() const override { return ad_->responseInfo(); }
  bool isReady(const ViewController& viewController) const override {
    return ad_->canPresentFromRootViewController(viewController, nullptr);
  }
  void setCustomData(const std::string&) override {}
  void setFullScreenContentDelegate(
      std::weak_ptr<mediation::GADFullScreenContentDelegate> delegate) override {
    ad_->setFullScreenContentDelegate(std::move(delegate));
  }
  void setPaidEventHandler(std::function<void(const mediation::GADAdValue&)> handler) override {
    ad_->setPaidEventHandler(std::move(handler));
  }

 protected:
  std::optional<NSError> refusal(const ViewController& viewController) const {
    NSError error;
    if (ad_->canPresentFromRootViewController(viewController, &error)) return std::nullopt;
    return error;
  }

  std::shared_ptr<GADAd> ad_;
};

// App-open and interstitial ads present without a reward.
template <class GADAd>
class PlainAdMobAd final : public AdMobAdBase<GADAd> {
 public:
  using AdMobAdBase<GADAd>::AdMobAdBase;

  std::optional<NSError> present(const ViewController& viewController,
                                 AdMobAdProtocol::RewardAction) override {
    if (auto error = this->refusal(viewController)) return error;
    this->ad_->presentFromRootViewController(viewController);
    return std::nullopt;
  }
};

class RewardedAdMobAd final : public AdMobAdBase<mediation::GADRewardedAd> {
 public:
  using AdMobAdBase::AdMobAdBase;

  std::optional<NSError> present(const ViewController& viewController,
                                 RewardAction rewardAction) override {
    if (auto error = refusal(viewController)) return error;
    const mediation::GADAdReward reward = ad_->adReward();
    // Without a user id the options set by setCustomData (or none) stay as they are.
    if (auto userId = sharedUserId()) {
      const auto& current = ad_->serverSideVerificationOptions();
      ad_->setServerSideVerificationOptions(GADServerSideVerificationOptions{
          *userId, current ? current->customRewardString : std::string()});
    }
    ad_->presentFromRootViewController(viewController, [reward, rewardAction] {
      if (rewardAction) rewardAction(reward);
    });
    return std::nullopt;
  }

  void setCustomData(const std::string& customData) override {
    ad_->setServerSideVerificationOptions(
        GADServerSideVerificationOptions{sharedUserId().value_or(std::string()), customData});
  }
};

}  // namespace

std::unique_ptr<AdMobAdProtocol> makeAdMobAd(std::shared_ptr<mediation::GADAppOpenAd> ad) {
  return std::make_unique<PlainAdMobAd<mediation::GADAppOpenAd>>(std::move(ad));
}

std::unique_ptr<AdMobAdProtocol> makeAdMobAd(std::shared_ptr<mediation::GADInterstitialAd> ad) {
  return std::make_unique<PlainAdMobAd<mediation::GADInterstitialAd>>(std::move(ad));
}

std::unique_ptr<AdMobAdProtocol> makeAdMobAd(std::shared_ptr<mediation::GADRewardedAd> ad) {
  return std::make_unique<RewardedAdMobAd>(std::move(ad));
}

}  // namespace tilo
