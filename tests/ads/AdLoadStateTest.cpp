// The views' load state machine, its retry backoff and the refresh coordinator, on mock
// time.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <tuple>
#include <vector>

#include "Tilo/ads/AdLoadStateManager.h"
#include "Tilo/ads/AdRefreshCoordinator.h"
#include "Tilo/base/TiloLogger.h"
#include "platform/Application.h"
#include "platform/TestEnvironment.h"
#include "platform/ui/UIWindow.h"

namespace tilo {
namespace {

using platform::Application;
using platform::ApplicationState;
using platform::TestEnvironment;
using platform::UIView;
using platform::UIWindow;
using State = TiloAdLoadingState;

const TiloError kFailure(TiloError::Code::noFill, "No fill");

class AdLoadStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Application::shared().resetForTesting();
    window = UIWindow::create({390, 844}, 3);
    view = UIView::create({10, 100, 320, 50});
    coordinator = AdRefreshCoordinator::create(view);
    manager =
        AdLoadStateManager::create(TiloAdUnit{"unit"}, AdType::banner, "com.tilo.banner.sync");
    manager->initLoaderAction = [this] { ++inits; };
    manager->performAdLoadAction = [this] {
      ++loads;
      return startsLoads;
    };
    manager->bindConditions(*coordinator);
  }
  void TearDown() override { Application::shared().resetForTesting(); }

  void show() {
    window->addSubview(view);
    coordinator->evaluateVisibility();
  }
  void setHidden(bool hidden) {
    view->setHidden(hidden);
    coordinator->evaluateVisibility();
  }
  // On screen with its loader, and the first load out.
  void startLoading() {
    show();
    manager->startLoaderInitialization();
    manager->handleLoaderInitialized();
    manager->requestAdLoad();
    ASSERT_EQ(loads, 1);
  }

  TestEnvironment env;
  std::shared_ptr<UIWindow> window;
  std::shared_ptr<UIView> view;
  std::shared_ptr<AdRefreshCoordinator> coordinator;
  std::shared_ptr<AdLoadStateManager> manager;
  int inits = 0;
  int loads = 0;
  bool startsLoads = true;
};

TEST_F(AdLoadStateTest, StateTableAndPendingRequests) {
  show();
  // Loads started, state and a pending request after each step.
  auto after = [&](const std::function<void()>& step) {
    step();
    return std::tuple(loads, manager->loadingState(), manager->hasPendingLoadRequest());
  };
  const auto request = [&] { manager->requestAdLoad(); };
  // 1. Before the loader exists, requests are remembered once.
  EXPECT_EQ(after([&] { manager->startLoaderInitialization(); }),
            std::tuple(0, State::syncRequested, false));
  EXPECT_EQ(inits, 1);
  request();
  EXPECT_EQ(after(request), std::tuple(0, State::syncRequested, true));
  // 2. The loader arrives: one load starts; a request during it is dropped.
  EXPECT_EQ(after([&] { manager->handleLoaderInitialized(); }),
            std::tuple(1, State::requested, false));
  EXPECT_EQ(after(request), std::tuple(1, State::requested, false));
  // 3. After a success a request loads again (refresh).
  EXPECT_EQ(after([&] { manager->handleLoadSuccess(); }), std::tuple(1, State::received, false));
  EXPECT_EQ(after(request), std::tuple(2, State::requested, false));
  // 4. An action that starts nothing leaves the state synced; so does a missing one.
  manager->handleLoadSuccess();
  startsLoads = false;
  EXPECT_EQ(after(request), std::tuple(3, State::synced, false));
  manager->performAdLoadAction = nullptr;
  EXPECT_EQ(after(request), std::tuple(3, State::synced, false));
  // 5. A failed initialization goes back to idle, where a request waits again.
  EXPECT_EQ(after([&] { manager->handleLoaderInitFailure(kFailure); }),
            std::tuple(3, State::idle, false));
  EXPECT_EQ(after(request), std::tuple(3, State::idle, true));
}

TEST_F(AdLoadStateTest, RetriesBackOffAndGiveUpOnTheEleventhFailure) {
  ScopedLogCapture logs;
  setCurrentLogLevel(TiloLogLevel::error);
  startLoading();
  const double expected[] = {1,       1.5,       2.25,       3.375,       5.0625,
                             7.59375, 11.390625, 17.0859375, 25.62890625, 38.443359375};
  for (int n = 0; n < 10; ++n) {
    manager->handleLoadFailure(kFailure);
    EXPECT_EQ(manager->loadingState(), State::synced);
    // Due exactly then, and not run a millisecond early.
    env.runUntilIdle();
    EXPECT_DOUBLE_EQ(env.nextDelay().value_or(-1), expected[n]);
    env.advance(expected[n] - 0.001);
    EXPECT_EQ(loads, n + 1) << "retry " << n;
    env.advance(0.002);
    EXPECT_EQ(loads, n + 2) << "retry " << n;
    EXPECT_EQ(manager->retryManager()->retryCount(), n + 1);
  }
  // The eleventh failure gives up, writes one line and clears the count.
  manager->handleLoadFailure(kFailure);
  EXPECT_FALSE(manager->retryManager()->retryTimer());
  EXPECT_EQ(manager->retryManager()->retryCount(), 0);
  EXPECT_EQ(logs.count("🚫 배너 최대 재시도 횟수 초과 - 단위 총 10회 시도 후 포기"), 1u);
  env.advance(120);
  EXPECT_EQ(loads, 11);
  setCurrentLogLevel(TiloLogLevel::off);
}

TEST_F(AdLoadStateTest, ConditionsGateRetriesAndResumeWaitingLoads) {
  startLoading();
  // 1. Off screen, a failure schedules nothing and keeps the count.
  setHidden(true);
  EXPECT_FALSE(manager->isVisible());
  manager->handleLoadFailure(kFailure);
  EXPECT_FALSE(manager->retryManager()->retryTimer());
  env.advance(60);
  EXPECT_EQ(loads, 1);
  // 2. Visible again with the state synced: a load starts at once.
  setHidden(false);
  EXPECT_EQ(loads, 2);
  // 3. A waiting retry is cancelled by the background and not run after it.
  manager->handleLoadFailure(kFailure);
  ASSERT_TRUE(manager->retryManager()->retryTimer());
  Application::shared().setState(ApplicationState::background);
  EXPECT_FALSE(manager->isAppActive());
  EXPECT_FALSE(manager->retryManager()->retryTimer());
  env.advance(10);
  EXPECT_EQ(loads, 2);
  // 4. Becoming active with the state synced loads at once; received stays as it is.
  Application::shared().setState(ApplicationState::active);
  EXPECT_EQ(loads, 3);
  manager->handleLoadSuccess();
  setHidden(true);
  setHidden(false);
  EXPECT_EQ(loads, 3);
}

TEST_F(AdLoadStateTest, EachRetrySeriesStartsAtOneSecondAndNeedsTheApplicationActive) {
  show();
  // Fails the load (or the loader's creation) and runs the retry; nullopt when none waits.
  auto retryWait = [&](bool creation = false) {
    creation ? manager->handleLoaderInitFailure(kFailure) : manager->handleLoadFailure(kFailure);
    env.runUntilIdle();
    auto wait = env.nextDelay();
    if (wait) env.advance(*wait);
    return wait;
  };
  // 1. Two failed creations count up; the loader's arrival starts the count over.
  manager->startLoaderInitialization();
  EXPECT_EQ(retryWait(true), 1);
  EXPECT_EQ(retryWait(true), 1.5);
  ASSERT_EQ(inits, 3);
  manager->handleLoaderInitialized();
  manager->requestAdLoad();
  EXPECT_EQ(retryWait(), 1);
  EXPECT_EQ(retryWait(), 1.5);
  // 2. So does a success.
  manager->handleLoadSuccess();
  manager->requestAdLoad();
  EXPECT_EQ(retryWait(), 1);
  // 3. A failure in the background schedules nothing and counts nothing: back in the
  //    foreground the synced state loads at once, and its failure waits 1.5 s.
  Application::shared().setState(ApplicationState::background);
  EXPECT_EQ(retryWait(), std::nullopt);
  const int loadsBefore = loads;
  Application::shared().setState(ApplicationState::active);
  EXPECT_EQ(loads, loadsBefore + 1);
  EXPECT_EQ(retryWait(), 1.5);
  // 4. An explicit request while a retry waits loads now and cancels that retry.
  manager->handleLoadFailure(kFailure);
  env.advance(0.5);
  manager->requestAdLoad();
  manager->handleLoadSuccess();
  env.advance(60);
  EXPECT_EQ(loads, loadsBefore + 3);
}

TEST_F(AdLoadStateTest, VisibilityTest) {
  auto visible = [&] {
    coordinator->evaluateVisibility();
    return coordinator->isVisible();
  };
  EXPECT_FALSE(visible()) << "outside a window";
  show();
  EXPECT_TRUE(coordinator->isVisible());
  // Alpha at the threshold is invisible, just above it visible.
  view->setAlpha(0.01);
  EXPECT_FALSE(visible());
  view->setAlpha(0.011);
  EXPECT_TRUE(visible());
  view->setHidden(true);
  EXPECT_FALSE(visible());
  view->setHidden(false);
  // Bounds outside the window, then partly inside; not laid out yet (no area): inside the
  // window counts, outside not.
  const std::pair<platform::CGRect, bool> frames[] = {{{-320, 100, 320, 50}, false},
                                                      {{380, 100, 320, 50}, true},
                                                      {{100, 100, 0, 0}, true},
                                                      {{500, 100, 0, 0}, false},
                                                      {{10, 100, 320, 50}, true}};
  for (const auto& [frame, expected] : frames) {
    view->setFrame(frame);
    EXPECT_EQ(visible(), expected) << frame.origin.x;
  }
  Application::shared().setState(ApplicationState::background);
  EXPECT_FALSE(visible()) << "in the background";
}

TEST_F(AdLoadStateTest, RefreshTimerFollowsVisibilityAndTheApplication) {
  int refreshes = 0;
  coordinator->refreshHandler = [&] { ++refreshes; };
  // 1. No interval, no timer.
  show();
  EXPECT_FALSE(coordinator->timer());
  coordinator->setRefreshInterval(30);
  coordinator->evaluateVisibility();
  ASSERT_TRUE(coordinator->timer());
  // 2. Re-evaluating does not restart a running timer.
  env.advance(20);
  coordinator->evaluateVisibility();
  env.advance(10);
  EXPECT_EQ(refreshes, 1);
  EXPECT_FALSE(coordinator->timer());
  // 3. The background stops it; becoming active starts a full-length one.
  coordinator->evaluateVisibility();
  env.advance(20);
  Application::shared().setState(ApplicationState::background);
  EXPECT_FALSE(coordinator->timer());
  env.advance(60);
  EXPECT_EQ(refreshes, 1);
  Application::shared().setState(ApplicationState::active);
  env.advance(29.999);
  EXPECT_EQ(refreshes, 1);
  env.advance(0.001);
  EXPECT_EQ(refreshes, 2);
  // 4. A timer firing while the application is inactive skips the handler, not rearmed.
  coordinator->evaluateVisibility();
  Application::shared().setState(ApplicationState::inactive);
  env.advance(30);
  EXPECT_EQ(refreshes, 2);
  EXPECT_FALSE(coordinator->timer());
  env.advance(60);
  EXPECT_EQ(refreshes, 2);
  // 5. Leaving the screen stops it.
  Application::shared().setState(ApplicationState::active);
  coordinator->evaluateVisibility();
  view->removeFromSuperview();
  coordinator->evaluateVisibility();
  EXPECT_FALSE(coordinator->timer());
  // 6. A positive interval below a second counts as one second, also when the handler
  //    restarts the timer at once, as a banner does after each impression.
  refreshes = 0;
  coordinator->setRefreshInterval(1e-9);
  show();
  env.advance(0.999);
  EXPECT_EQ(refreshes, 0);
  env.advance(0.001);
  EXPECT_EQ(refreshes, 1);
  coordinator->refreshHandler = [&] {
    ++refreshes;
    coordinator->stopRefreshTimer();
    coordinator->startRefreshTimer();
  };
  coordinator->setRefreshInterval(0.25);
  coordinator->evaluateVisibility();
  env.advance(10);
  EXPECT_EQ(refreshes, 11);
}

}  // namespace
}  // namespace tilo
