// What a public full-screen ad object asks of its presenter.
#pragma once

#include <memory>
#include <string>

#include "Tilo/ads/TiloDisplayListener.h"
#include "Tilo/base/TiloAdInfo.h"
#include "Tilo/base/TiloExport.h"
#include "platform/ui/UIViewController.h"

namespace tilo {

class TILO_EXPORT AdPresentable {
 public:
  virtual ~AdPresentable() = default;

  virtual std::shared_ptr<TiloDisplayListener> displayListener() const = 0;
  virtual void setDisplayListener(std::shared_ptr<TiloDisplayListener> listener) = 0;
  virtual std::shared_ptr<TiloRewardedListener> rewardedAdListener() const = 0;
  virtual void setRewardedAdListener(std::shared_ptr<TiloRewardedListener> listener) = 0;
  // Recomputed from the ad's current response on every call.
  virtual TiloAdInfo adInfo() const = 0;
  virtual void setPlacement(const std::string& placement) = 0;
  virtual void setCustomData(const std::string& customData) = 0;
  virtual bool isReady(const std::shared_ptr<platform::UIViewController>& viewController) = 0;
  virtual void show(const std::shared_ptr<platform::UIViewController>& viewController) = 0;
};

// Shows inside the ad-show crash marker, so a crash in the platform's present call is
// reported at the next start. The display callbacks come later, outside it.
void showWithCrashMarker(AdPresentable& presenter,
                         const std::shared_ptr<platform::UIViewController>& viewController);

}  // namespace tilo
