#include "platform/Application.h"

#include <utility>

#include "platform/NotificationCenter.h"

namespace tilo::platform {

Application& Application::shared() {
  static Application* application = new Application();
  return *application;
}

void Application::setState(ApplicationState state) {
  const ApplicationState previous = state_.exchange(state);
  if (previous == state) return;
  auto& center = NotificationCenter::defaultCenter();
  if (previous == ApplicationState::active) center.post(kWillResignActiveNotification);
  if (state == ApplicationState::background) {
    center.post(kDidEnterBackgroundNotification);
    return;
  }
  if (previous == ApplicationState::background) center.post(kWillEnterForegroundNotification);
  if (state == ApplicationState::active) center.post(kDidBecomeActiveNotification);
}

void Application::didReceiveMemoryWarning() {
  NotificationCenter::defaultCenter().post(kDidReceiveMemoryWarningNotification);
}

bool Application::openURL(const std::string& url) {
  OpenURLHandler handler;
  {
    std::lock_guard lock(openURLMutex_);
    handler = openURLHandler_;
  }
  if (!handler) return false;
  handler(url);
  return true;
}

Application::OpenURLHandler Application::setOpenURLHandler(OpenURLHandler handler) {
  std::lock_guard lock(openURLMutex_);
  return std::exchange(openURLHandler_, std::move(handler));
}

}  // namespace tilo::platform
