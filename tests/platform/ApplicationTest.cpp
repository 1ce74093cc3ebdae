// The application state the host reports, and the notifications each change posts.
#include "platform/Application.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/NotificationCenter.h"
#include "platform/TestEnvironment.h"

using namespace tilo::platform;

TEST(ApplicationLifecycle, TransitionsPostTheNotificationsAPhoneWould) {
  TestEnvironment env;
  std::vector<std::string> posted;
  auto& center = NotificationCenter::defaultCenter();
  std::vector<Subscription> tokens;
  for (const char* name : {kWillResignActiveNotification, kDidBecomeActiveNotification,
                           kDidEnterBackgroundNotification, kWillEnterForegroundNotification}) {
    tokens.push_back(center.addObserver(name, [&posted, name] { posted.push_back(name); }));
  }
  auto& app = Application::shared();
  app.setState(ApplicationState::background);
  app.setState(ApplicationState::active);
  app.setState(ApplicationState::active);
  EXPECT_EQ(posted, (std::vector<std::string>{
                        kWillResignActiveNotification, kDidEnterBackgroundNotification,
                        kWillEnterForegroundNotification, kDidBecomeActiveNotification}));
  tokens.clear();
  app.setState(ApplicationState::background);
  EXPECT_EQ(posted.size(), 4u) << "removed observers hear nothing";
}
