// The view tree: move hooks, window tracking, coordinates, hit-testing and taps.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/TestEnvironment.h"
#include "platform/ui/NSLayoutConstraint.h"
#include "platform/ui/UIButton.h"
#include "platform/ui/UIImageView.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UIWindow.h"

using namespace tilo::platform;

namespace {

// Records its hooks, as the banner and native views use them (setHidden, which the banner
// overrides too: BannerViewTest's hidden banner that schedules no retry).
class HookView : public UIView {
 public:
  explicit HookView(std::vector<std::string>* log) : log_(log) {}
  void willMoveToSuperview(UIView* s) override { note("willMoveToSuperview:", s, "view"); }
  void didMoveToSuperview() override { note("didMoveToSuperview:", superview().get(), "view"); }
  void willMoveToWindow(UIWindow* w) override { note("willMoveToWindow:", w, "window"); }
  void didMoveToWindow() override { note("didMoveToWindow:", window().get(), "window"); }
  // Counts taps that reach it, handling them when asked to.
  bool handleTap(const CGPoint& point) override {
    taps.push_back(point);
    return handles;
  }
  std::vector<CGPoint> taps;
  bool handles = false;

 private:
  void note(const char* hook, const void* to, const char* what) {
    log_->push_back(hook + std::string(to ? what : "nil"));
  }
  std::vector<std::string>* log_;
};

}  // namespace

TEST(ViewTree, MoveHooksWindowTrackingAndOwnership) {
  TestEnvironment env;
  std::vector<std::string> log;
  auto window = UIWindow::create({390, 844}, 2);
  auto container = UIView::create({0, 0, 100, 100});
  auto hooked = makeView<HookView>(&log);
  auto child = UIView::create();
  hooked->addSubview(child);

  // 1. Into a detached container: superview hooks only, no window.
  container->addSubview(hooked);
  EXPECT_EQ(log, (std::vector<std::string>{"willMoveToSuperview:view", "didMoveToSuperview:view"}));
  EXPECT_EQ(hooked->window(), nullptr);

  // 2. The container joins the window: the subtree learns its window, down to the child.
  log.clear();
  window->addSubview(container);
  EXPECT_EQ(log, (std::vector<std::string>{"willMoveToWindow:window", "didMoveToWindow:window"}));
  EXPECT_EQ(child->window(), window);
  EXPECT_EQ(window->window(), window) << "a window is its own window";

  // 3. Removal: window hooks then the superview hook, and the view keeps living while
  //    held elsewhere.
  log.clear();
  std::weak_ptr<UIView> weakContainer = container;
  hooked->removeFromSuperview();
  EXPECT_EQ(log, (std::vector<std::string>{"willMoveToSuperview:nil", "willMoveToWindow:nil",
                                           "didMoveToWindow:nil", "didMoveToSuperview:nil"}));
  EXPECT_EQ(child->window(), nullptr);
  EXPECT_TRUE(container->subviews().empty());

  // 4. A view cannot contain an ancestor or itself.
  hooked->addSubview(hooked);
  child->addSubview(hooked);
  EXPECT_EQ(hooked->superview(), nullptr);

  // 5. The superview owns its subviews; the subview does not keep its superview alive,
  //    and a dying window tells its views that they left it.
  container->addSubview(hooked);
  container.reset();
  window.reset();
  EXPECT_TRUE(weakContainer.expired());
  EXPECT_EQ(hooked->superview(), nullptr);

  log.clear();
  auto window2 = UIWindow::create({100, 100}, 1);
  window2->addSubview(hooked);
  log.clear();
  window2.reset();
  EXPECT_EQ(log, (std::vector<std::string>{"didMoveToWindow:nil"}));
  EXPECT_EQ(hooked->window(), nullptr);
}

TEST(ViewTree, ConvertsRectanglesThroughFramesAndBounds) {
  TestEnvironment env;
  auto window = UIWindow::create({390, 844}, 3);
  auto card = UIView::create({20, 100, 350, 400});
  auto inner = UIView::create({10, 20, 100, 50});
  window->addSubview(card);
  card->addSubview(inner);

  EXPECT_EQ(inner->convertRect(inner->bounds(), nullptr), (CGRect{30, 120, 100, 50}));
  EXPECT_EQ(inner->convertRect({5, 5, 1, 1}, card.get()), (CGRect{15, 25, 1, 1}));
  EXPECT_EQ(card->convertRectFromView({30, 120, 10, 10}, nullptr), (CGRect{10, 20, 10, 10}));

  // A scrolled card (bounds origin moved) shifts everything inside it.
  card->setBounds({10, 40, 350, 400});
  EXPECT_EQ(inner->convertRect(inner->bounds(), nullptr), (CGRect{20, 80, 100, 50}));
  EXPECT_EQ(card->frame(), (CGRect{20, 100, 350, 400})) << "the centre stays";
  // One placed by constraints keeps its place on screen: its frame takes the origin in.
  auto pinned = UIView::create();
  pinned->setTranslatesAutoresizingMaskIntoConstraints(false);
  card->addSubview(pinned);
  NSLayoutConstraint::activateConstraints({
      pinned->leftAnchor().constraintEqualToAnchor(card->leftAnchor(), 10),
      pinned->topAnchor().constraintEqualToAnchor(card->topAnchor(), 20),
      pinned->widthAnchor().constraintEqualToConstant(100),
      pinned->heightAnchor().constraintEqualToConstant(50),
  });
  window->layoutIfNeeded();
  EXPECT_EQ(pinned->frame(), (CGRect{20, 60, 100, 50}));
  EXPECT_EQ(pinned->convertRect(pinned->bounds(), nullptr), (CGRect{30, 120, 100, 50}));
  // Off the window, a rectangle in window coordinates no longer meets it: AdLoadStateTest's
  // VisibilityTest.
}

TEST(ViewTree, HitTestingSkipsHiddenTransparentAndNonInteractiveViews) {
  TestEnvironment env;
  auto window = UIWindow::create({400, 400}, 1);
  auto card = UIView::create({0, 0, 200, 200});
  auto button = UIButton::create();
  button->setFrame({50, 50, 100, 40});
  auto cover = UIView::create({0, 0, 200, 200});  // on top of the button
  window->addSubview(card);
  card->addSubview(button);
  card->addSubview(cover);

  // 1. The topmost view under the point wins.
  EXPECT_EQ(window->hitTest({60, 60}), cover);
  // 2. Hidden, nearly transparent and non-interactive covers let the touch through.
  cover->setHidden(true);
  EXPECT_EQ(window->hitTest({60, 60}), button);
  cover->setHidden(false);
  cover->setAlpha(0.009);
  EXPECT_EQ(window->hitTest({60, 60}), button);
  cover->setAlpha(0.01);
  EXPECT_EQ(window->hitTest({60, 60}), cover) << "alpha 0.01 still takes touches";
  cover->setUserInteractionEnabled(false);
  EXPECT_EQ(window->hitTest({60, 60}), button);

  // 3. Non-interactive parents take their subtree with them.
  card->setUserInteractionEnabled(false);
  EXPECT_EQ(window->hitTest({60, 60}), window);
  card->setUserInteractionEnabled(true);

  // 4. A subview sticking out of its parent is not hit outside the parent.
  button->setFrame({150, 50, 100, 40});
  EXPECT_EQ(window->hitTest({175, 60}), button);
  EXPECT_EQ(window->hitTest({225, 60}), window);

  // 5. Labels and image views ignore touches by default: the button gets them.
  auto label = UILabel::create({0, 0, 30, 20});
  auto icon = UIImageView::create();
  icon->setFrame({30, 0, 20, 20});
  button->addSubview(label);
  button->addSubview(icon);
  EXPECT_EQ(window->hitTest({155, 55}), button);
  EXPECT_EQ(window->hitTest({185, 55}), button);
}

TEST(ViewTree, TapsReachEnabledControlsOrTravelUpTheChain) {
  TestEnvironment env;
  std::vector<std::string> log;
  auto window = UIWindow::create({400, 400}, 1);
  auto container = makeView<HookView>(&log);
  container->setFrame({0, 0, 300, 300});
  auto button = UIButton::create();
  button->setFrame({10, 10, 100, 40});
  auto asset = UILabel::create({10, 100, 100, 40});
  asset->setUserInteractionEnabled(true);
  window->addSubview(container);
  container->addSubview(button);
  container->addSubview(asset);
  std::vector<std::string> events;
  auto id = button->addAction([&](UIControl&) { events.push_back("up"); },
                              UIControlEvents::touchUpInside);
  button->addAction([&](UIControl& c) { events.push_back(c.isHighlighted() ? "down*" : "down"); },
                    UIControlEvents::touchDown);

  // 1. An enabled control runs touch down then touch up inside, once.
  EXPECT_TRUE(window->tap({20, 20}));
  EXPECT_EQ(events, (std::vector<std::string>{"down*", "up"}));
  EXPECT_TRUE(container->taps.empty());

  // 2. Disabled: nothing runs and the tap travels up to the container (in its coordinates).
  //    A state without a title of its own shows the normal one.
  button->setTitle("OK", UIControlState::normal);
  button->setEnabled(false);
  EXPECT_EQ(button->currentTitle(), "OK");
  button->setTitle("Off", UIControlState::disabled);
  EXPECT_EQ(button->currentTitle(), "Off");
  events.clear();
  EXPECT_FALSE(window->tap({20, 20}));
  EXPECT_TRUE(events.empty());
  ASSERT_EQ(container->taps.size(), 1u);
  EXPECT_EQ(container->taps[0], (CGPoint{20, 20}));

  // 3. A plain view's tap goes up the chain until someone handles it.
  container->handles = true;
  EXPECT_TRUE(window->tap({20, 120}));
  EXPECT_EQ(container->taps.size(), 2u);

  // 4. Removed actions do not run; a weakly held target that is gone is skipped.
  button->setEnabled(true);
  button->removeAction(id);
  struct Target {
    int count = 0;
    void tapped() { ++count; }
  };
  auto target = std::make_shared<Target>();
  button->addTarget(target, &Target::tapped, UIControlEvents::touchUpInside);
  events.clear();
  window->tap({20, 20});
  EXPECT_EQ(events, (std::vector<std::string>{"down*"}));
  EXPECT_EQ(target->count, 1);
  target.reset();
  EXPECT_TRUE(window->tap({20, 20})) << "a control handles the tap even without a live target";
  // Outside every view but the window nothing handles it: CApiTest's
  // WindowRendersTapsAndTracksTheLifecycle.
}
