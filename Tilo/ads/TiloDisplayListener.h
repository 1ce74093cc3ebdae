// Display callbacks of full-screen and popup ads: shown, failed to show, dismissed.
//
//   ad->interstitialListener()->onDismiss = [](std::optional<TiloAdInfo>) { resumeGame(); };
//   rewarded->rewardedAdListener()->onEarnedReward =
//       [](std::optional<TiloAdInfo>, std::optional<TiloRewardedItem> item) { ... };
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "Tilo/base/TiloAdInfo.h"
#include "Tilo/base/TiloError.h"
#include "Tilo/base/TiloExport.h"
#include "Tilo/base/TiloRewardedItem.h"

namespace tilo {

class TILO_EXPORT TiloDisplayListener {
 public:
  virtual ~TiloDisplayListener() = default;

  std::function<void(std::optional<TiloAdInfo>)> onShown;
  std::function<void(std::optional<TiloAdInfo>, const TiloError&)> onFailedToShow;
  std::function<void(std::optional<TiloAdInfo>)> onDismiss;
};

class TILO_EXPORT TiloInterstitialListener : public TiloDisplayListener {
 public:
  static std::shared_ptr<TiloInterstitialListener> create() {
    return std::make_shared<TiloInterstitialListener>();
  }
};

class TILO_EXPORT TiloAppOpenListener : public TiloDisplayListener {
 public:
  static std::shared_ptr<TiloAppOpenListener> create() {
    return std::make_shared<TiloAppOpenListener>();
  }
};

class TILO_EXPORT TiloLightPopupListener : public TiloDisplayListener {
 public:
  static std::shared_ptr<TiloLightPopupListener> create() {
    return std::make_shared<TiloLightPopupListener>();
  }
};

class TILO_EXPORT TiloRewardedListener : public TiloDisplayListener {
 public:
  static std::shared_ptr<TiloRewardedListener> create() {
    return std::make_shared<TiloRewardedListener>();
  }

  std::function<void(std::optional<TiloAdInfo>, std::optional<TiloRewardedItem>)> onEarnedReward;
};

}  // namespace tilo
