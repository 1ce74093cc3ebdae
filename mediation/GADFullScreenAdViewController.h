// The screen a full-screen ad presents over the host: its creative (media, icon,
// headline, body and a call-to-action button), an "Ad" mark and a close button, laid out
// inside the safe area in the window's appearance. A rewarded ad counts down first and
// shows its close button once the reward is granted; an app-open ad names the app above
// the creative.
//
//   auto screen = GADFullScreenAdViewController::create("rewarded", creative);
//   screen->setOnCallToAction([weak] { ... });   // a tap on the call to action
//   screen->setOnClose([weak] { ... });          // a tap on the close button
//   screen->setCountdown(5);                     // "Reward in 5 s", no close button
//   host->presentViewController(screen, false);
//   screen->setCountdown(std::nullopt);          // "Reward granted", close button shown
//
// The view's accessibility identifier is the format ("interstitial", "rewarded",
// "appOpen"); its parts are "<format>.media", ".icon", ".title", ".body", ".cta",
// ".close", ".adMark", and ".countdown" (rewarded) or ".appName" (app open).
// Main thread only; the actions hold nothing strongly that owns the controller.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "mediation/TestCreatives.h"
#include "platform/ui/UIButton.h"
#include "platform/ui/UIImageView.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UIViewController.h"

namespace tilo::mediation {

class GADFullScreenAdViewController final : public platform::UIViewController {
 public:
  // `appName` is shown by app-open ads only.
  static std::shared_ptr<GADFullScreenAdViewController> create(std::string format,
                                                               Creative creative,
                                                               std::string appName = {});
  GADFullScreenAdViewController(std::string format, Creative creative, std::string appName);

  void loadView() override;

  void setOnCallToAction(std::function<void()> action) { onCallToAction_ = std::move(action); }
  void setOnClose(std::function<void()> action) { onClose_ = std::move(action); }

  // Whole seconds left before the reward (the close button hidden), or nullopt once it is
  // granted (the close button shown). Without a call the close button shows at once.
  void setCountdown(std::optional<int> secondsLeft);

  const std::string& format() const { return format_; }
  // The parts, once the view is loaded.
  const std::shared_ptr<platform::UIButton>& callToActionButton() const { return cta_; }
  const std::shared_ptr<platform::UIButton>& closeButton() const { return close_; }
  const std::shared_ptr<platform::UILabel>& countdownLabel() const { return countdown_; }

  // The name app-open ads show: the bundle's CFBundleDisplayName, else CFBundleName,
  // else its identifier, else "This app".
  static std::string mainBundleAppName();

 private:
  std::shared_ptr<platform::UILabel> label(const char* part, double size, bool bold);
  void buildTopBar(platform::UIView& root);
  void buildCreative(platform::UIView& root);
  std::string id(const char* part) const { return format_ + "." + part; }

  std::string format_;
  Creative creative_;
  std::string appName_;
  std::optional<int> secondsLeft_;
  bool countdownSet_ = false;
  std::function<void()> onCallToAction_, onClose_;
  std::shared_ptr<platform::UILabel> adMark_, appNameLabel_, title_, body_, countdown_;
  std::shared_ptr<platform::UIImageView> media_, icon_;
  std::shared_ptr<platform::UIButton> cta_, close_;
};

}  // namespace tilo::mediation
