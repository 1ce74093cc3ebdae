// What app-open, interstitial and rewarded ads share: response info, delegate, paid-event
// handler, the ready check and the presentation.
//
// Presented from a view controller in a window (or, without one, over the key window's
// root view controller), the ad shows its screen (GADFullScreenAdViewController) over
// whatever that controller presents, without animation. A tap on the call to action is a
// click: the delegate hears it and the destination goes to the host
// (platform::Application::openURL). A tap on the close button dismisses the ad. From a
// controller in no window the ad presents without a screen: the callbacks still come.
//
// A presentation reports, on the main thread and in this order: will-present, impression,
// the paid event, the scripted click (a tap on the call to action), the reward, and the
// dismissal (a tap on the close button) once "dismissAfterMs" passed; or only the failure
// when the script has a "presentError". A rewarded ad with a "countdownMs" counts down
// first: the reward and its close button come when the countdown ends, and its scripted
// dismissal no earlier. With "dismissAfterMs": null only a tap closes the ad; the built-in
// test ads wait for that tap too when they have a screen to be tapped on. An ad
// presents once; it keeps itself alive until it is dismissed.
//
// A real bid's ad (demand/OpenRtbSource.h) fires its notices as it goes: the impression's
// with the impression, its click trackers with the first click, and its loss notice when
// its exp passes before it was presented; it is then refused as expired.
//
// An ad presented from a view controller in a window goes with that window: when the
// window closes while the ad is on screen, the dismissal comes at once (and only once);
// when it closes before the presentation starts, the presentation fails instead.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "mediation/AdSource.h"
#include "mediation/GADAdValue.h"
#include "mediation/GADFullScreenContentDelegate.h"
#include "mediation/GADRequest.h"
#include "mediation/GADResponseInfo.h"
#include "mediation/NSError.h"
#include "mediation/demand/Demand.h"
#include "platform/Reactive.h"
#include "platform/Timer.h"
#include "platform/ui/UIViewController.h"

namespace tilo::mediation {

class GADFullScreenAdViewController;

class GADFullScreenAd : public std::enable_shared_from_this<GADFullScreenAd> {
 public:
  template <class Ad>
  using LoadCompletion = std::function<void(std::shared_ptr<Ad>, std::optional<NSError>)>;

  virtual ~GADFullScreenAd() = default;

  const std::string& adUnitID() const { return adUnitId_; }
  const GADResponseInfo& responseInfo() const { return responseInfo_; }
  void setFullScreenContentDelegate(std::weak_ptr<GADFullScreenContentDelegate> delegate) {
    delegate_ = std::move(delegate);
  }
  void setPaidEventHandler(std::function<void(const GADAdValue&)> handler) {
    paidEventHandler_ = std::move(handler);
  }
  // False, with the reason in `error` when given, once the ad was presented or expired.
  bool canPresentFromRootViewController(std::shared_ptr<platform::UIViewController> viewController,
                                        NSError* error) const;
  // The screen while the ad is on screen in a window; null otherwise.
  const std::shared_ptr<GADFullScreenAdViewController>& screen() const { return screen_; }

 protected:
  // `format` names the screen and its parts: "interstitial", "rewarded" or "appOpen".
  GADFullScreenAd(std::string format, std::string adUnitId, AdScript script);

  // Asks the ad's demand for `adUnitId` and completes once with the ad or the error.
  template <class Ad>
  static void load(std::string_view format, std::string adUnitId,
                   const std::shared_ptr<GADRequest>& request, LoadCompletion<Ad> completion) {
    demand::Demand::load(
        demand::DemandRequest{std::string(format), adUnitId, request, std::nullopt},
        [adUnitId, completion = std::move(completion)](const AdScript& script) {
          if (!completion) return;
          if (!script.fill) return completion(nullptr, script.error);
          auto ad = std::make_shared<Ad>(adUnitId, script);
          ad->watchExpiry();
          completion(std::move(ad), std::nullopt);
        });
  }

  // Silent when the ready check refuses. `earnReward` runs where the reward is granted.
  void presentScripted(const std::shared_ptr<platform::UIViewController>& viewController,
                       std::function<void()> earnReward);
  const AdScript& script() const { return script_; }
  // A real bid's loss notice fires when the ad expires unshown.
  void watchExpiry();

 private:
  void runPresentation(const std::function<void()>& earnReward);
  // False (and the failure reported) when the presenter refused the screen.
  bool showScreen();
  void countDown(double secondsLeft, const std::function<void()>& earnReward);
  void grantReward(const std::function<void()>& earnReward);
  void scheduleDismissal();
  void recordClick();
  // The simulated user's taps: through the window when the screen is up, else direct.
  void tapCallToAction();
  void tapClose();
  void fail(const NSError& error);
  void dismiss();

  std::string format_;
  std::string adUnitId_;
  AdScript script_;
  GADResponseInfo responseInfo_;
  double loadedAt_;
  std::atomic<bool> presented_{false};
  std::weak_ptr<GADFullScreenContentDelegate> delegate_;
  std::function<void(const GADAdValue&)> paidEventHandler_;
  // The window of the presenting view controller, while the ad is on its way or on screen.
  platform::Subscription windowClosed_;
  bool windowGone_ = false;
  bool onScreen_ = false;
  bool dismissed_ = false;
  std::shared_ptr<GADFullScreenAd> keepAlive_;  // from present to dismissal
  std::weak_ptr<platform::UIViewController> presenter_;
  std::shared_ptr<GADFullScreenAdViewController> screen_;
  std::shared_ptr<platform::Timer> countdown_, dismissal_, expiry_;
  double shownAt_ = 0;
  bool rewardGranted_ = false;
  std::uint64_t clicks_ = 0;
};

}  // namespace tilo::mediation
