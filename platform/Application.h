// Application state and its lifecycle notifications.
//
// A Linux host reports its lifecycle, from the main thread:
//   Application::shared().setState(ApplicationState::background);  // window hidden
//   Application::shared().setState(ApplicationState::active);      // back in front
// Each transition posts the notifications a phone OS would: entering background posts
// did-enter-background; leaving background posts will-enter-foreground; becoming
// active posts did-become-active.
#pragma once

#include <atomic>

namespace tilo::platform {

enum class ApplicationState { active = 0, inactive = 1, background = 2 };

class Application {
 public:
  static Application& shared();

  ApplicationState state() const { return state_.load(); }
  void setState(ApplicationState state);
  // Back to active without notifications; TestEnvironment calls it.
  void resetForTesting() { state_.store(ApplicationState::active); }

 private:
  std::atomic<ApplicationState> state_{ApplicationState::active};
};

}  // namespace tilo::platform
