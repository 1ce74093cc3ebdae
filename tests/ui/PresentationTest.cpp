// Modal presentation and dismissal on mock time.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/TestEnvironment.h"
#include "platform/ui/UIDiagnostics.h"
#include "platform/ui/UIViewController.h"
#include "platform/ui/UIWindow.h"

using namespace tilo::platform;

namespace {

class RecordingController : public UIViewController {
 public:
  RecordingController(std::string name, std::vector<std::string>* log)
      : UIViewController(name), log_(log) {}
  void viewDidLoad() override {
    UIViewController::viewDidLoad();
    log_->push_back(title() + ".viewDidLoad");
  }
  void viewDidAppear(bool) override { log_->push_back(title() + ".viewDidAppear"); }
  void viewDidDisappear(bool) override {
    log_->push_back(title() + ".viewDidDisappear" + (isBeingDismissed() ? " (dismissed)" : ""));
  }

 private:
  std::vector<std::string>* log_;
};

// A view that tracks whether it is in a window, as a banner's visibility test does.
class WindowWatcher : public UIView {
 public:
  void didMoveToWindow() override {
    UIView::didMoveToWindow();
    inWindow.push_back(window() != nullptr);
  }
  std::vector<bool> inWindow;
};

class PresentationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UIDiagnostics::clearRecorded();
    window->setRootViewController(game);
  }
  std::size_t presentationReports() {
    std::size_t n = 0;
    for (auto& d : UIDiagnostics::recorded()) n += d.kind == UIDiagnostic::Kind::presentation;
    return n;
  }

  TestEnvironment env;
  std::vector<std::string> log;
  std::shared_ptr<UIWindow> window = UIWindow::create({390, 844}, 3, {47, 0, 34, 0});
  std::shared_ptr<RecordingController> game = std::make_shared<RecordingController>("game", &log);
};

}  // namespace

TEST_F(PresentationTest, AnimatedPresentAndDismissRunOnTheClock) {
  auto popup = std::make_shared<RecordingController>("popup", &log);
  popup->setModalPresentationStyle(UIModalPresentationStyle::overFullScreen);
  popup->setModalTransitionStyle(UIModalTransitionStyle::crossDissolve);
  int presented = 0, dismissed = 0;

  // 1. The view loads lazily (that it joins the window above the game and fills it at once:
  //    LightPopupTest's taps on the close button, and the fade-in as drawn).
  EXPECT_FALSE(popup->isViewLoaded());
  game->presentViewController(popup, true, [&] { ++presented; });

  // 2. The completion runs on the main loop when the transition ends (not a millisecond
  //    earlier: LightPopupTest's ClosesSixSecondsAfterItAppeared; the fade-in as drawn:
  //    PresentedControllersDrawAsTheirTransitionStands).
  env.advance(UIViewController::transitionDuration);
  EXPECT_EQ(presented, 1);
  EXPECT_EQ(game->view()->window(), window) << "over full screen keeps the game in the window";

  // 3. A second presentation from the same controller is refused; its completion never
  //    runs.
  auto other = std::make_shared<RecordingController>("other", &log);
  game->presentViewController(other, false, [&] { ++presented; });
  env.advance(1);
  EXPECT_EQ(presented, 1);
  EXPECT_FALSE(other->isViewLoaded());
  EXPECT_EQ(presentationReports(), 1u);
  EXPECT_NE(UIDiagnostics::recorded().back().message.find("which is already presenting"),
            std::string::npos);

  // 4. Dismissal from the presented controller: it fades out, then leaves.
  popup->dismissViewController(true, [&] { ++dismissed; });
  EXPECT_TRUE(popup->isBeingDismissed());
  EXPECT_EQ(game->presentedViewController(), popup) << "until the transition ends";
  env.advance(0.15);
  EXPECT_DOUBLE_EQ(popup->transitionAppearance(env.clock().uptime()).alpha, 0.5);
  env.advance(0.149);
  EXPECT_EQ(dismissed, 0);
  env.advance(0.002);
  EXPECT_EQ(dismissed, 1);
  EXPECT_EQ(popup->view()->superview(), nullptr);
  EXPECT_EQ(game->presentedViewController(), nullptr);
  EXPECT_EQ(popup->presentingViewController(), nullptr);
  EXPECT_EQ(
      log, (std::vector<std::string>{"game.viewDidLoad", "popup.viewDidLoad", "popup.viewDidAppear",
                                     "popup.viewDidDisappear (dismissed)"}));
  EXPECT_FALSE(popup->isBeingDismissed());
}

TEST_F(PresentationTest, FullScreenTakesThePresenterOutOfTheWindowUntilDismissed) {
  auto banner = makeView<WindowWatcher>();
  game->view()->addSubview(banner);
  auto ad = std::make_shared<RecordingController>("ad", &log);
  ad->setModalPresentationStyle(UIModalPresentationStyle::fullScreen);
  int completions = 0;

  // 1. Without animation the change is immediate; the completion still waits for the
  //    main loop.
  game->presentViewController(ad, false, [&] { ++completions; });
  EXPECT_EQ(completions, 0);
  EXPECT_EQ(banner->window(), nullptr) << "the game's view left the window";
  EXPECT_EQ(banner->inWindow, (std::vector<bool>{true, false}));
  env.runUntilIdle();
  EXPECT_EQ(completions, 1);

  // 2. Presenting on top of the ad works from the ad, which now presents.
  auto page = std::make_shared<RecordingController>("page", &log);
  ad->presentViewController(page, true);
  env.advance(UIViewController::transitionDuration);
  EXPECT_EQ(ad->presentedViewController(), page);

  // 3. Dismissing from the game takes both away; the game's view is back, below.
  game->dismissViewController(true, [&] { ++completions; });
  EXPECT_EQ(banner->window(), window) << "back for the dismissal animation";
  EXPECT_EQ(page->view()->window(), nullptr) << "what the ad presented goes at once";
  EXPECT_LT(std::find(window->subviews().begin(), window->subviews().end(), game->view()),
            std::find(window->subviews().begin(), window->subviews().end(), ad->view()));
  env.advance(UIViewController::transitionDuration);
  EXPECT_EQ(completions, 2);
  EXPECT_EQ(ad->view()->window(), nullptr);
  EXPECT_EQ(banner->inWindow, (std::vector<bool>{true, false, true}));
}

TEST_F(PresentationTest, RefusesPresentationsThatCannotHappen) {
  auto popup = std::make_shared<RecordingController>("popup", &log);
  int completions = 0;
  auto count = [&] { ++completions; };

  // 1. From a controller whose view is in no window.
  auto offscreen = std::make_shared<RecordingController>("offscreen", &log);
  offscreen->presentViewController(popup, false, count);
  // 2. A controller that is already presented elsewhere, or is the presenter itself.
  game->presentViewController(popup, true, count);
  auto second = std::make_shared<RecordingController>("second", &log);
  second->view();
  window->addSubview(second->view());
  second->presentViewController(popup, false, count);
  game->presentViewController(game, false, count);
  // 3. While a transition runs: neither another presentation nor a dismissal.
  popup->presentViewController(second, false, count);
  popup->dismissViewController(false, count);
  // 4. Dismissing what presents nothing.
  offscreen->dismissViewController(false, count);

  env.advance(5);
  EXPECT_EQ(completions, 1) << "only the one valid presentation completed";
  EXPECT_EQ(presentationReports(), 6u);
  EXPECT_EQ(game->presentedViewController(), popup);
  EXPECT_EQ(second->presentedViewController(), nullptr);

  // 5. Controllers released during their transition take it with them: no completion,
  //    no crash when its time comes.
  auto brief = std::make_shared<RecordingController>("brief", &log);
  second->presentViewController(brief, true, count);
  second->dismissViewController(false);  // refused: the transition still runs
  EXPECT_EQ(presentationReports(), 7u);
  std::weak_ptr<UIViewController> weakBrief = brief;
  brief.reset();
  second.reset();
  EXPECT_TRUE(weakBrief.expired());
  env.advance(1);
  EXPECT_EQ(completions, 1);
}

TEST_F(PresentationTest, ClosingTheWindowDismissesWhatIsPresentedInIt) {
  auto ad = std::make_shared<RecordingController>("ad", &log);
  ad->setModalPresentationStyle(UIModalPresentationStyle::fullScreen);
  auto page = std::make_shared<RecordingController>("page", &log);
  int closes = 0, presented = 0, dismissed = 0;
  auto observer = window->observeClose([&] { ++closes; });
  game->presentViewController(ad, false);
  ad->presentViewController(page, true, [&] { ++presented; });
  env.advance(0.1);
  log.clear();

  // 1. The page's running transition ends at once (its completion runs), then both go,
  //    topmost first, as dismissals; the game's view is back in the window.
  window->close();
  EXPECT_EQ(presented, 1);
  EXPECT_EQ(log,
            (std::vector<std::string>{"page.viewDidAppear", "page.viewDidDisappear (dismissed)",
                                      "game.viewDidAppear", "ad.viewDidDisappear (dismissed)"}));
  EXPECT_EQ(game->presentedViewController(), nullptr);
  EXPECT_EQ(ad->presentingViewController(), nullptr);
  EXPECT_EQ(page->view()->window(), nullptr);
  EXPECT_EQ(game->view()->window(), window);
  EXPECT_EQ(closes, 1);

  // 2. Once only; a late observer hears it at once; nothing is presented any more.
  window->close();
  EXPECT_EQ(closes, 1);
  auto late = window->observeClose([&] { ++closes; });
  EXPECT_EQ(closes, 2);
  game->presentViewController(page, false, [&] { ++presented; });
  env.advance(1);
  EXPECT_EQ(presented, 1);
  EXPECT_EQ(presentationReports(), 1u);

  // 3. A dismissal in progress completes with its own completion.
  auto other = UIWindow::create({390, 844}, 3);
  auto root = std::make_shared<RecordingController>("root", &log);
  other->setRootViewController(root);
  root->presentViewController(ad, false);
  env.runUntilIdle();
  ad->dismissViewController(true, [&] { ++dismissed; });
  other->close();
  EXPECT_EQ(dismissed, 1);
  EXPECT_EQ(ad->view()->window(), nullptr);
}
