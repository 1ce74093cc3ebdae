// When an ad shown in a view counts as seen: the application is active, the view is in a
// window, neither it nor an ancestor is hidden or nearly transparent (alpha 0.01 or
// less), and at least half of its area lies inside the window.
//
// The watcher checks every 100 ms on the platform clock (and, when asked, at once) until
// the ad is seen or it is stopped; those checks lay the window out first, as a screen
// would before showing it. Its timer holds its state weakly and ends with the watcher.
#pragma once

#include <functional>
#include <memory>

#include "platform/Timer.h"
#include "platform/ui/UIView.h"

namespace tilo::mediation {

bool isViewOnScreenForImpression(const platform::UIView& view);

class ImpressionWatcher {
 public:
  static constexpr double kCheckInterval = 0.1;

  // Calls `seen` once, on the main thread, when `view` passes the check. Restarting
  // replaces an earlier watch.
  void start(std::weak_ptr<platform::UIView> view, std::function<void()> seen,
             bool checkAtOnce = true);
  // Checks now, as laid out; true when the watch ended with `seen`. For the view's own
  // hooks (moves, layout), where laying out again is not allowed.
  bool checkNow();
  void stop();
  bool isWatching() const { return static_cast<bool>(state_->seen); }

 private:
  struct State {
    std::weak_ptr<platform::UIView> view;
    std::function<void()> seen;
    std::shared_ptr<platform::Timer> timer;
  };
  static bool check(const std::shared_ptr<State>& state, bool layOut);
  static void stop(State& state);

  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace tilo::mediation
