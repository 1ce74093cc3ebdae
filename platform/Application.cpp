#include "platform/Application.h"

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

}  // namespace tilo::platform
