// The full-screen controller that shows the light popup's card over a dimmed, blurred
// background, with a close button 8 points above the safe area's bottom. Once its
// presentation completes it closes itself after 6 seconds; while another controller is
// presented on top (a page the ad opened) the close waits in 3-second steps.
//
// Dismissed by anything else than its own close (its window closed under it), it stops
// its timer and reports the dismissal all the same, on the next turn of the main loop, so
// that a host paused for the popup always hears it end.
//
// Made by TiloLightPopupAdLoader, one per load; hosts reach it through TiloLightPopupAd.
// Main thread only. The dismiss timer holds the controller weakly and dies with it.
#pragma once

#include <memory>

#include "Tilo/ads/TiloDisplayListener.h"
#include "Tilo/base/TiloAdUnit.h"
#include "Tilo/views/BaseLightPopupContentView.h"
#include "platform/Timer.h"
#include "platform/ui/UIViewController.h"

namespace tilo {

class TILO_EXPORT TiloLightPopupViewController : public platform::UIViewController {
 public:
  // Builds the controller, its content view (which loads when asked) and its view.
  static std::shared_ptr<TiloLightPopupViewController> create(
      TiloAdUnit unit, std::shared_ptr<TiloServiceProtocol> service);
  TiloLightPopupViewController(TiloAdUnit unit, std::shared_ptr<TiloServiceProtocol> service);

  static constexpr double dismissDelay = 6;
  static constexpr double dismissRetryDelay = 3;

  const std::shared_ptr<TiloLightPopupConfiguration>& configuration() const {
    return configuration_;
  }
  // Stores and applies the configuration to the card and the close button.
  void setConfiguration(std::shared_ptr<TiloLightPopupConfiguration> configuration);
  const std::shared_ptr<TiloLightPopupContentView>& contentView() const { return contentView_; }
  const TiloAdUnit& unit() const { return unit_; }
  const std::shared_ptr<TiloLightPopupListener>& lightPopupadListener() const {
    return lightPopupadListener_;
  }
  const std::shared_ptr<platform::Timer>& dismissTimer() const { return dismissTimer_; }
  const std::shared_ptr<platform::UIButton>& closeButton();
  const std::shared_ptr<platform::UIView>& backgroundView();

  void loadView() override;
  void viewDidLoad() override;
  void viewDidDisappear(bool animated) override;
  // The close button's action: closes at once.
  void handleCloseButtonTapped();

  // The presentation completed (and the ad still exists): shown callback, then the timer.
  void presentationDidComplete();
  // Starts (or restarts) the dismiss timer.
  void startDismissTimer(double seconds);

 private:
  TiloAdInfo displayAdInfo() const;
  void dismissTimerFired();
  void close();
  void applyCloseButtonConfiguration();

  std::shared_ptr<TiloLightPopupConfiguration> configuration_;
  std::shared_ptr<TiloLightPopupContentView> contentView_;
  const TiloAdUnit unit_;
  const std::shared_ptr<TiloLightPopupListener> lightPopupadListener_;
  std::shared_ptr<platform::Timer> dismissTimer_;
  std::shared_ptr<platform::UIButton> closeButton_;
  std::shared_ptr<platform::UIView> backgroundView_;
  // Its own close is dismissing it; the close's completion reports that dismissal.
  bool closing_ = false;
};

}  // namespace tilo
