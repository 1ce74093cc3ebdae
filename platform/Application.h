// Application state and its lifecycle notifications.
//
// A Linux host reports its lifecycle, from the main thread:
//   Application::shared().setState(ApplicationState::background);  // window hidden
//   Application::shared().setState(ApplicationState::active);      // back in front
// Each transition posts the notifications a phone OS would: entering background posts
// did-enter-background; leaving background posts will-enter-foreground; becoming
// active posts did-become-active.
//
// Opening a URL (where an ad's click leads) is the host's business: openURL hands it to
// the handler the SDK installed for the host. Nothing here starts a process or a browser.
//   Application::shared().setOpenURLHandler([](const std::string& url) { ... });
//   Application::shared().openURL("https://example.com/");   // false: nobody took it
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

namespace tilo::platform {

enum class ApplicationState { active = 0, inactive = 1, background = 2 };

class Application {
 public:
  static Application& shared();

  ApplicationState state() const { return state_.load(); }
  void setState(ApplicationState state);
  // Posts the memory warning to its observers, on the calling (main) thread.
  void didReceiveMemoryWarning();
  // Back to active without notifications; TestEnvironment calls it.
  void resetForTesting() { state_.store(ApplicationState::active); }

  using OpenURLHandler = std::function<void(const std::string& url)>;
  // Calls the handler (outside any lock, on the calling thread); false when there is none.
  bool openURL(const std::string& url);
  // Replaces the handler; an empty function removes it. Returns the previous one.
  OpenURLHandler setOpenURLHandler(OpenURLHandler handler);

 private:
  std::atomic<ApplicationState> state_{ApplicationState::active};
  std::mutex openURLMutex_;
  OpenURLHandler openURLHandler_;
};

}  // namespace tilo::platform
