// A screen: a lazily loaded view, and modal presentation of other controllers in the
// window.
//
//   class Popup : public UIViewController {
//     void viewDidLoad() override { UIViewController::viewDidLoad(); /* build view() */ }
//   };
//   auto popup = std::make_shared<Popup>();
//   popup->setModalPresentationStyle(UIModalPresentationStyle::overFullScreen);
//   popup->setModalTransitionStyle(UIModalTransitionStyle::crossDissolve);
//   game->presentViewController(popup, true, [] { /* on screen */ });
//   env.advance(UIViewController::transitionDuration);   // tests: mock time drives it
//
// The presented controller's view is added to the presenter's window above everything,
// filling it; with the full-screen (and current-context) styles the presenter's view
// leaves the window once the transition ends, and comes back when the presented one is
// dismissed. A transition lasts `transitionDuration` seconds on the platform clock when
// animated, and its completion runs on the main loop afterwards (without animation: on
// the next turn of the main loop). Refused, with a report through UIDiagnostics and the
// completion not called: presenting from a controller that already presents one, whose
// view is in no window (or in a closed one), or while a transition is running; presenting
// a controller that is already presented; dismissing while a transition is running.
//
// A window that closes (UIWindow::close) dismisses what is presented in it: running
// transitions end at once, then every presented controller goes without animation,
// topmost first. Its viewWillDisappear and viewDidDisappear run with isBeingDismissed()
// true, as in any dismissal, so a controller can tell being dismissed from being covered.
//
// Main thread only. The presenter holds the presented controller; the presented one
// refers to its presenter weakly.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace tilo::platform {

class Timer;
class UIView;

// Raw values as the platform's.
enum class UIModalPresentationStyle {
  automatic = -2,  // the default; a page sheet
  none = -1,
  fullScreen = 0,
  pageSheet = 1,
  formSheet = 2,
  currentContext = 3,
  custom = 4,
  overFullScreen = 5,
  overCurrentContext = 6,
  popover = 7,
};

enum class UIModalTransitionStyle {
  coverVertical = 0,  // slides up from the bottom (the default)
  flipHorizontal = 1,
  crossDissolve = 2,  // fades in
  partialCurl = 3,
};

class UIViewController : public std::enable_shared_from_this<UIViewController> {
 public:
  static std::shared_ptr<UIViewController> create(std::string title = {}) {
    return std::make_shared<UIViewController>(std::move(title));
  }
  explicit UIViewController(std::string title = {});
  virtual ~UIViewController();
  UIViewController(const UIViewController&) = delete;
  UIViewController& operator=(const UIViewController&) = delete;

  const std::string& title() const { return title_; }
  void setTitle(std::string title) { title_ = std::move(title); }

  // Loads the view on first access: loadView, then viewDidLoad.
  std::shared_ptr<UIView> view();
  const std::shared_ptr<UIView>& viewIfLoaded() const { return view_; }
  bool isViewLoaded() const { return view_ != nullptr; }
  void setView(std::shared_ptr<UIView> view);

  // Hooks (call the base first when overriding).
  // Makes the view; the base makes a plain UIView. Assign it with setView.
  virtual void loadView();
  virtual void viewDidLoad() {}
  virtual void viewWillAppear(bool /*animated*/) {}
  virtual void viewDidAppear(bool /*animated*/) {}
  virtual void viewWillDisappear(bool /*animated*/) {}
  virtual void viewDidDisappear(bool /*animated*/) {}

  void presentViewController(std::shared_ptr<UIViewController> controller, bool animated,
                             std::function<void()> completion = {});
  // Dismisses the controller this one presents (and whatever that one presents), or,
  // when this one presents nothing, itself from its presenter.
  void dismissViewController(bool animated, std::function<void()> completion = {});
  const std::shared_ptr<UIViewController>& presentedViewController() const { return presented_; }
  std::shared_ptr<UIViewController> presentingViewController() const { return presenting_.lock(); }
  bool isBeingPresented() const { return transition_ == Transition::presenting; }
  // True from the start of its dismissal until its viewDidDisappear has returned.
  bool isBeingDismissed() const { return beingDismissed_; }
  // Ends a running animated transition now, as if its time had passed: a presentation's
  // or dismissal's completion runs before this returns. Nothing when none runs.
  void finishTransitionNow();

  UIModalPresentationStyle modalPresentationStyle() const { return presentationStyle_; }
  void setModalPresentationStyle(UIModalPresentationStyle style) { presentationStyle_ = style; }
  UIModalTransitionStyle modalTransitionStyle() const { return transitionStyle_; }
  void setModalTransitionStyle(UIModalTransitionStyle style) { transitionStyle_ = style; }

  static constexpr double transitionDuration = 0.3;

  // How a running transition shows the view at `uptime` (the platform clock): an alpha
  // factor and a vertical offset in points. {1, 0} when none runs.
  struct TransitionAppearance {
    double alpha = 1;
    double offsetY = 0;
  };
  TransitionAppearance transitionAppearance(double uptime) const;

  std::string debugName() const;

 private:
  enum class Transition { none, presenting, dismissing };

  bool removesPresenterView() const;
  void finishPresentation(bool animated, std::function<void()> completion);
  void finishDismissal(bool animated, std::function<void()> completion);
  // Runs `step` after the transition time (animated, kept as pendingStep_ until then so
  // that finishTransitionNow can run it early) or on the next main-loop turn.
  void schedule(bool animated, std::function<void()> step);
  void runPendingStep();

  std::string title_;
  std::shared_ptr<UIView> view_;
  std::shared_ptr<UIViewController> presented_;
  std::weak_ptr<UIViewController> presenting_;
  UIModalPresentationStyle presentationStyle_ = UIModalPresentationStyle::automatic;
  UIModalTransitionStyle transitionStyle_ = UIModalTransitionStyle::coverVertical;
  Transition transition_ = Transition::none;
  bool beingDismissed_ = false;
  std::function<void()> pendingStep_;
  double transitionStart_ = 0;
  bool transitionAnimated_ = false;
  std::shared_ptr<Timer> transitionTimer_;
  // The presenter's view, while a full-screen presentation keeps it out of the window.
  std::weak_ptr<UIView> hiddenPresenterView_;
};

}  // namespace tilo::platform
