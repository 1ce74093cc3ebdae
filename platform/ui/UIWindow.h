// The top of a view tree that is shown: a size in points, a pixel scale (1 to 4, 2.625 too),
// safe-area insets, an appearance (light or dark) for the adaptive colours, a root view
// controller, and the tap entry point.
//
//   auto window = UIWindow::create({390, 844}, 3, {47, 0, 34, 0});
//   window->setRootViewController(game);
//   window->tap({195, 700});   // delivered to the control under the point, if any
//
// A window lays itself out before it renders (ViewRenderer) and before a tap.
//
// The key window is the one ads shown without a view controller present over: the last
// window made key (makeKeyWindow) while it is alive and open.
//
// When its host destroys it, the window is closed first (close()): what is presented in
// it is dismissed and close observers hear it, so that nothing shown there waits forever
// for a dismissal. A window released without close() ends its presentations silently.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/Reactive.h"
#include "platform/ui/UIView.h"

namespace tilo::platform {

class UIViewController;

class UIWindow : public UIView {
 public:
  // Null for a size that is not positive and finite, a scale outside kMinScale…kMaxScale
  // (NaN included), or insets that are negative, not finite or larger than the window.
  static constexpr double kMinScale = 1;
  static constexpr double kMaxScale = 4;
  static std::shared_ptr<UIWindow> create(CGSize size, double scale = 3,
                                          UIEdgeInsets safeAreaInsets = {});
  // Use create: the constructor takes its arguments as checked.
  UIWindow(CGSize size, double scale, UIEdgeInsets safeAreaInsets);
  ~UIWindow() override;

  void initializeView() override;
  const char* className() const override { return "UIWindow"; }

  double scale() const { return scale_; }
  CGSize size() const { return frame().size; }
  // Same checks as create; false, and nothing changed, when they fail.
  bool setSize(CGSize size);
  const UIEdgeInsets& windowSafeAreaInsets() const { return safeArea_; }
  bool setSafeAreaInsets(UIEdgeInsets insets);
  UIUserInterfaceStyle appearance() const { return appearance_; }
  // `unspecified` means light.
  void setAppearance(UIUserInterfaceStyle appearance);

  const std::shared_ptr<UIViewController>& rootViewController() const { return root_; }
  // Installs the controller's view (loading it) filling the window, below everything.
  void setRootViewController(std::shared_ptr<UIViewController> controller);

  // Touch down and up inside at `point` (window coordinates): delivered to the view that
  // hitTest finds there, then up its superview chain until a view handles it (an enabled
  // control runs its touch-up-inside actions). Returns whether anything handled it.
  bool tap(const CGPoint& point);
  // A scroll (wheel or drag) at `point` by `delta` points, positive y showing what lies
  // further down: the innermost scroll view under the point that can move takes it.
  // Returns whether anything scrolled.
  bool scroll(const CGPoint& point, const CGPoint& delta);

  // Ends the window for good: the close observers run, running transitions finish at
  // once (their completions run), then every controller presented in it is dismissed
  // without animation, topmost first. Nothing can be presented in it afterwards. Once
  // only; main thread only.
  void close();
  bool isClosed() const { return *closed_->value(); }
  // `onClose` runs when the window closes (at once when it already has), under the
  // subscription's lock: post anything that calls out to a host.
  [[nodiscard]] Subscription observeClose(std::function<void()> onClose);

  // Main thread only.
  void makeKeyWindow();
  bool isKeyWindow() const;
  static std::shared_ptr<UIWindow> keyWindow();

  void layoutSubviews() override;
  void setFrame(const CGRect& frame) override;

 private:
  // What is wrong with a size and insets, or empty.
  static std::string problemWith(CGSize size, UIEdgeInsets insets);

  double scale_;
  UIEdgeInsets safeArea_;
  UIUserInterfaceStyle appearance_ = UIUserInterfaceStyle::light;
  std::shared_ptr<UIViewController> root_;
  std::shared_ptr<CurrentValueSubject<bool>> closed_ = CurrentValueSubject<bool>::create(false);
};

}  // namespace tilo::platform
