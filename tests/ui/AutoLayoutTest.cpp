// Auto Layout through views: relations, priorities, conflicts, edits, intrinsic sizes, safe
// areas and bad input. A multi-line label's second pass is in the popup's and the inspector's
// golden images.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "platform/TestEnvironment.h"
#include "platform/ui/LayoutDump.h"
#include "platform/ui/UIDiagnostics.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UIWindow.h"
#include "platform/ui/ViewRenderer.h"

using namespace tilo::platform;
using ::testing::HasSubstr;

namespace {

class AutoLayoutTest : public ::testing::Test {
 protected:
  void SetUp() override { UIDiagnostics::clearRecorded(); }

  std::shared_ptr<UIView> addView(const std::shared_ptr<UIView>& parent, const std::string& id) {
    auto view = UIView::create();
    view->setAccessibilityIdentifier(id);
    view->setTranslatesAutoresizingMaskIntoConstraints(false);
    parent->addSubview(view);
    return view;
  }
  // Pins `view` at (x, y) in `parent` at a fixed size; returns left, top, width, height.
  static std::vector<std::shared_ptr<NSLayoutConstraint>> place(
      const std::shared_ptr<UIView>& view, const std::shared_ptr<UIView>& parent, CGRect frame) {
    std::vector<std::shared_ptr<NSLayoutConstraint>> list{
        view->leftAnchor().constraintEqualToAnchor(parent->leftAnchor(), frame.x()),
        view->topAnchor().constraintEqualToAnchor(parent->topAnchor(), frame.y()),
        view->widthAnchor().constraintEqualToConstant(frame.width()),
        view->heightAnchor().constraintEqualToConstant(frame.height())};
    NSLayoutConstraint::activateConstraints(list);
    return list;
  }
  static std::vector<UIDiagnostic> reports(UIDiagnostic::Kind kind) {
    std::vector<UIDiagnostic> out;
    for (auto& d : UIDiagnostics::recorded()) {
      if (d.kind == kind) out.push_back(d);
    }
    return out;
  }

  TestEnvironment env;
  std::shared_ptr<UIWindow> window = UIWindow::create({400, 800}, 2, {40, 0, 30, 0});
};

}  // namespace

TEST_F(AutoLayoutTest, EqualitiesInequalitiesAndPriorities) {
  auto box = addView(window, "box");
  auto side = addView(window, "side");
  auto guide = window->safeAreaLayoutGuide();
  auto tall = box->heightAnchor().constraintEqualToConstant(50);
  tall->setPriority(UILayoutPriorityDefaultHigh);
  auto wide = side->widthAnchor().constraintEqualToConstant(300);
  wide->setPriority(500);
  auto narrow = side->widthAnchor().constraintEqualToConstant(200);
  narrow->setPriority(499);
  auto pullUp = side->topAnchor().constraintEqualToAnchor(window->topAnchor());
  pullUp->setPriority(1);
  NSLayoutConstraint::activateConstraints({
      box->leftAnchor().constraintEqualToAnchor(window->leftAnchor(), 20),
      box->rightAnchor().constraintEqualToAnchor(window->rightAnchor(), -20),
      box->topAnchor().constraintEqualToAnchor(guide->topAnchor(), 10),
      box->heightAnchor().constraintGreaterThanOrEqualToConstant(100),
      tall,
      side->topAnchor().constraintGreaterThanOrEqualToAnchor(box->bottomAnchor(), 8),
      side->centerXAnchor().constraintEqualToAnchor(window->centerXAnchor()),
      side->heightAnchor().constraintEqualToAnchor(box->heightAnchor(), 0.5, 10),
      wide,
      narrow,
      pullUp,
  });
  window->layoutIfNeeded();

  // 1. Equalities from both edges and the safe area; the required minimum beats the
  //    preferred height of 50.
  EXPECT_EQ(box->frame(), (CGRect{20, 50, 360, 100}));
  // 2. The inequality stops the weak pull upwards at its bound, the multiplier applies,
  //    and the higher of two adjacent priorities wins.
  EXPECT_EQ(side->frame(), (CGRect{50, 158, 300, 60}));

  // 3. Turning priorities around turns the result around.
  narrow->setPriority(501);
  window->layoutIfNeeded();
  EXPECT_EQ(side->frame().width(), 200);
  EXPECT_EQ(side->frame().x(), 100);
  EXPECT_TRUE(UIDiagnostics::recorded().empty()) << "the system has a solution";
}

TEST_F(AutoLayoutTest, ConflictingRequiredConstraintIsDroppedReportedOnceAndRestored) {
  auto banner = addView(window, "banner");
  auto first = place(banner, window, {0, 0, 320, 50})[2];
  auto second = banner->widthAnchor().constraintEqualToConstant(300);
  window->layoutIfNeeded();
  second->setActive(true);
  window->layoutIfNeeded();

  // 1. The later constraint is dropped: the earlier one holds, the other stays active.
  EXPECT_EQ(banner->frame().width(), 320);
  EXPECT_TRUE(second->isActive());
  EXPECT_TRUE(second->isDropped());
  EXPECT_FALSE(first->isDropped());

  // 2. One report, naming the constraints involved readably, the dropped one last.
  auto conflicts = reports(UIDiagnostic::Kind::unsatisfiableConstraints);
  ASSERT_EQ(conflicts.size(), 1u);
  EXPECT_EQ(conflicts[0].constraints.back(), "<NSLayoutConstraint banner.width == 300 @1000>");
  EXPECT_THAT(conflicts[0].constraints,
              testing::Contains("<NSLayoutConstraint banner.width == 320 @1000>"));
  EXPECT_THAT(conflicts[0].message, HasSubstr("Will attempt to recover by breaking constraint"));

  // 3. Layout again, and after a rebuild of the whole tree: still dropped, not reported
  //    again.
  auto other = UIView::create({0, 0, 10, 10});
  window->addSubview(other);  // changes the tree's shape: the engine rebuilds
  window->layoutIfNeeded();
  EXPECT_TRUE(second->isDropped());
  EXPECT_EQ(banner->frame().width(), 320);
  EXPECT_EQ(reports(UIDiagnostic::Kind::unsatisfiableConstraints).size(), 1u);

  // 4. Once the conflict is gone the dropped constraint takes effect.
  first->setActive(false);
  window->layoutIfNeeded();
  EXPECT_FALSE(second->isDropped());
  EXPECT_EQ(banner->frame().width(), 300);
  EXPECT_TRUE(layoutDump(*window)["droppedConstraints"].empty());
}

TEST_F(AutoLayoutTest, EditingAndRemovingConstraintsReSolves) {
  auto card = addView(window, "card");
  auto icon = addView(card, "icon");
  auto left = place(card, window, {20, 100, 300, 200})[0];
  auto iconLeft = icon->leftAnchor().constraintEqualToAnchor(card->leftAnchor(), 20);
  auto minimumLeft =
      icon->leftAnchor().constraintGreaterThanOrEqualToAnchor(window->leftAnchor(), 100);
  NSLayoutConstraint::activateConstraints(
      {iconLeft, icon->topAnchor().constraintEqualToAnchor(card->topAnchor(), 20),
       icon->widthAnchor().constraintEqualToConstant(40),
       icon->heightAnchor().constraintEqualToAnchor(icon->widthAnchor())});
  window->layoutIfNeeded();
  EXPECT_EQ(card->frame(), (CGRect{20, 100, 300, 200}));
  EXPECT_EQ(icon->frame(), (CGRect{20, 20, 40, 40})) << "frames are in the superview";
  EXPECT_EQ(icon->convertRect(icon->bounds(), nullptr), (CGRect{40, 120, 40, 40}));

  // 1. A NaN or infinite constant is refused with a report; the old one stays (a new finite
  //    constant re-solves: LabelTest's and the intrinsic-size test's widths).
  left->setConstant(NAN);
  left->setConstant(INFINITY);
  window->layoutIfNeeded();
  EXPECT_EQ(left->constant(), 20);
  EXPECT_EQ(card->frame().x(), 20);
  EXPECT_EQ(reports(UIDiagnostic::Kind::invalidValue).size(), 2u);

  // 2. A required inequality activated on top conflicts and is dropped; removing the
  //    equality it fights lets it act.
  minimumLeft->setActive(true);
  window->layoutIfNeeded();
  EXPECT_TRUE(minimumLeft->isDropped());
  iconLeft->setActive(false);
  window->layoutIfNeeded();
  EXPECT_FALSE(minimumLeft->isDropped());
  EXPECT_EQ(icon->convertRect(icon->bounds(), nullptr).x(), 100);
  EXPECT_EQ(card->constraints().size(), 5u) << "the deactivated constraint left the views";
}

TEST_F(AutoLayoutTest, IntrinsicSizesYieldByHuggingAndCompressionPriorities) {
  auto row = addView(window, "row");
  auto title = UILabel::create();
  auto price = UILabel::create();
  title->setText("Adventure");
  price->setText("Free");
  for (auto& label : {title, price}) {
    label->setTranslatesAutoresizingMaskIntoConstraints(false);
    row->addSubview(label);
  }
  CGSize titleSize = title->intrinsicContentSize();
  CGSize priceSize = price->intrinsicContentSize();
  auto rowWidth = row->widthAnchor().constraintEqualToConstant(300);
  NSLayoutConstraint::activateConstraints({
      row->leftAnchor().constraintEqualToAnchor(window->leftAnchor()),
      row->topAnchor().constraintEqualToAnchor(window->topAnchor()),
      rowWidth,
      title->leftAnchor().constraintEqualToAnchor(row->leftAnchor()),
      price->leftAnchor().constraintEqualToAnchor(title->rightAnchor(), 8),
      price->rightAnchor().constraintEqualToAnchor(row->rightAnchor()),
      title->topAnchor().constraintEqualToAnchor(row->topAnchor()),
      price->topAnchor().constraintEqualToAnchor(row->topAnchor()),
      row->bottomAnchor().constraintEqualToAnchor(title->bottomAnchor()),
  });
  title->setContentHuggingPriority(251, UILayoutConstraintAxis::horizontal);
  window->layoutIfNeeded();

  // 1. Room to spare: the label that hugs less (250) stretches; heights are intrinsic and
  //    the row hugs the title's height.
  EXPECT_EQ(title->frame().width(), titleSize.width);
  EXPECT_EQ(price->frame().width(), 300 - 8 - titleSize.width);
  EXPECT_EQ(title->frame().height(), titleSize.height);
  EXPECT_EQ(row->frame().height(), titleSize.height);

  // 2. Hugging swapped: the title stretches instead.
  title->setContentHuggingPriority(249, UILayoutConstraintAxis::horizontal);
  window->layoutIfNeeded();
  EXPECT_EQ(price->frame().width(), priceSize.width);

  // 3. Too little room: the label that resists compression less gives way.
  rowWidth->setConstant(titleSize.width + 8 + priceSize.width - 20);
  price->setContentCompressionResistancePriority(751, UILayoutConstraintAxis::horizontal);
  window->layoutIfNeeded();
  EXPECT_EQ(price->frame().width(), priceSize.width);
  EXPECT_EQ(title->frame().width(), titleSize.width - 20);
  EXPECT_TRUE(title->isTruncatedInBounds(title->bounds()));
}

TEST_F(AutoLayoutTest, AutoresizingFramesSafeAreasAndHierarchyChanges) {
  // 1. A view placed by frame holds its frame; a constrained sibling follows it.
  auto fixed = UIView::create({10, 60, 50, 50});
  window->addSubview(fixed);
  auto follower = addView(window, "follower");
  NSLayoutConstraint::activateConstraints({
      follower->leftAnchor().constraintEqualToAnchor(fixed->rightAnchor(), 8),
      follower->topAnchor().constraintEqualToAnchor(fixed->topAnchor()),
      follower->widthAnchor().constraintEqualToConstant(20),
      follower->heightAnchor().constraintEqualToConstant(20),
  });
  window->layoutIfNeeded();
  EXPECT_EQ(follower->frame(), (CGRect{68, 60, 20, 20}));
  fixed->setFrame({100, 300, 50, 50});
  window->layoutIfNeeded();
  EXPECT_EQ(follower->frame(), (CGRect{158, 300, 20, 20}));

  // 2. A constraint fighting the frame of a view placed by frame is the one dropped.
  auto fight = fixed->widthAnchor().constraintEqualToConstant(80);
  fight->setActive(true);
  window->layoutIfNeeded();
  EXPECT_TRUE(fight->isDropped());
  EXPECT_EQ(fixed->frame().width(), 50);
  EXPECT_THAT(reports(UIDiagnostic::Kind::unsatisfiableConstraints).at(0).message,
              HasSubstr("NSAutoresizingMaskLayoutConstraint"));
  fight->setActive(false);

  // 3. Safe areas: the window's guide is inset by its insets; a full-window view's guide
  //    takes the same insets; a view below the unsafe top takes none there.
  auto full = addView(window, "full");
  auto footer = addView(full, "footer");
  auto lower = addView(window, "lower");
  NSLayoutConstraint::activateConstraints({
      full->leftAnchor().constraintEqualToAnchor(window->leftAnchor()),
      full->rightAnchor().constraintEqualToAnchor(window->rightAnchor()),
      full->topAnchor().constraintEqualToAnchor(window->topAnchor()),
      full->bottomAnchor().constraintEqualToAnchor(window->bottomAnchor()),
      footer->leftAnchor().constraintEqualToAnchor(full->leftAnchor()),
      footer->widthAnchor().constraintEqualToConstant(100),
      footer->heightAnchor().constraintEqualToConstant(52),
      footer->bottomAnchor().constraintEqualToAnchor(full->safeAreaLayoutGuide()->bottomAnchor(),
                                                     -8),
  });
  place(lower, window, {0, 100, 100, 100});
  window->layoutIfNeeded();
  EXPECT_EQ(footer->frame(), (CGRect{0, 800 - 30 - 8 - 52, 100, 52}));
  EXPECT_EQ(full->safeAreaInsets(), (UIEdgeInsets{40, 0, 30, 0}));
  EXPECT_EQ(lower->safeAreaInsets(), (UIEdgeInsets{}));
  EXPECT_EQ(window->safeAreaLayoutGuide()->layoutFrame(), (CGRect{0, 40, 400, 730}));

  // 4. Taking a view out of the window deactivates the constraints that joined it to
  //    views outside; those inside its subtree stay.
  auto inside = footer->widthAnchor().constraintEqualToConstant(100);
  inside->setActive(true);
  auto toWindow = full->constraints().front();
  full->removeFromSuperview();
  EXPECT_FALSE(toWindow->isActive());
  EXPECT_TRUE(inside->isActive());
  full->layoutIfNeeded();
  EXPECT_EQ(footer->frame().width(), 100);
}

TEST_F(AutoLayoutTest, RefusesUnrelatedViewsAndDeadAnchors) {
  auto inWindow = addView(window, "inWindow");
  auto elsewhere = UIView::create();
  elsewhere->setAccessibilityIdentifier("elsewhere");

  // 1. No common ancestor: refused, stays inactive, clearly reported, nothing changes.
  auto across = inWindow->leftAnchor().constraintEqualToAnchor(elsewhere->leftAnchor());
  across->setActive(true);
  EXPECT_FALSE(across->isActive());
  auto refused = reports(UIDiagnostic::Kind::noCommonAncestor);
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_THAT(refused[0].message, HasSubstr("inWindow and elsewhere have no common ancestor"));
  EXPECT_TRUE(inWindow->constraints().empty());
  EXPECT_TRUE(elsewhere->constraints().empty());

  // 2. An anchor whose view is gone, and mixed axes, are refused too.
  std::shared_ptr<NSLayoutConstraint> dead;
  {
    auto temporary = UIView::create();
    dead = inWindow->widthAnchor().constraintEqualToAnchor(temporary->widthAnchor());
  }
  dead->setActive(true);
  EXPECT_FALSE(dead->isActive());
  auto mixed =
      NSLayoutConstraint::create(inWindow, NSLayoutAttribute::left, NSLayoutRelation::equal, window,
                                 NSLayoutAttribute::top, 1, 0);
  mixed->setActive(true);
  EXPECT_FALSE(mixed->isActive());
  EXPECT_EQ(reports(UIDiagnostic::Kind::invalidValue).size(), 2u);

  // 3. Bad window sizes are refused at creation.
  EXPECT_EQ(UIWindow::create({0, 844}), nullptr);
  EXPECT_EQ(UIWindow::create({-390, 844}), nullptr);
  EXPECT_EQ(UIWindow::create({NAN, 844}), nullptr);
  EXPECT_EQ(UIWindow::create({390, 844}, 4.5), nullptr);
  EXPECT_EQ(UIWindow::create({390, 844}, 3, {500, 0, 500, 0}), nullptr);
}

TEST_F(AutoLayoutTest, TreesBeyondTheLimitsAreRefusedWithAReport) {
  // 1. A chain as deep as allowed (the window included) builds, lays out and draws; one
  //    more view below it, or a subtree that would reach below it, is refused.
  std::vector<std::shared_ptr<UIView>> chain{window};
  while (chain.size() < UIView::kMaxTreeDepth) {
    auto view = UIView::create({1, 1, 10, 10});
    chain.back()->addSubview(view);
    chain.push_back(view);
  }
  auto extra = UIView::create({0, 0, 1, 1});
  chain.back()->addSubview(extra);
  EXPECT_EQ(extra->superview(), nullptr);
  auto deep = reports(UIDiagnostic::Kind::limitExceeded);
  ASSERT_EQ(deep.size(), 1u);
  EXPECT_THAT(deep[0].message, HasSubstr("the tree would be 257 views deep, more than 256"));
  auto stem = UIView::create();
  stem->addSubview(UIView::create());
  chain[chain.size() - 2]->addSubview(stem);
  EXPECT_EQ(stem->superview(), nullptr);
  chain[chain.size() - 3]->addSubview(stem);
  EXPECT_EQ(stem->superview(), chain[chain.size() - 3]);
  window->layoutIfNeeded();
  EXPECT_EQ(chain.back()->convertRect(chain.back()->bounds(), nullptr).origin, (CGPoint{255, 255}));
  EXPECT_FALSE(ViewRenderer::pngData(*window).empty());

  // 2. A tree with more views than layout takes is left as it is, reported once per
  //    rebuild; back within the limit it is laid out again.
  UIDiagnostics::clearRecorded();
  auto crowd = UIWindow::create({400, 800}, 1);
  auto first = addView(crowd, "first");
  place(first, crowd, {5, 6, 7, 8});
  for (std::size_t i = 1; i < UIView::kMaxLayoutViews; ++i) crowd->addSubview(UIView::create());
  crowd->layoutIfNeeded();
  EXPECT_EQ(first->frame(), (CGRect{0, 0, 0, 0}));
  auto large = reports(UIDiagnostic::Kind::limitExceeded);
  ASSERT_EQ(large.size(), 1u);
  EXPECT_THAT(large[0].message,
              HasSubstr("2049 views and 4 constraints, more than the limit of 2048 "
                        "views and 8192 constraints"));
  crowd->subviews().back()->removeFromSuperview();
  crowd->layoutIfNeeded();
  EXPECT_EQ(first->frame(), (CGRect{5, 6, 7, 8}));
  EXPECT_EQ(reports(UIDiagnostic::Kind::limitExceeded).size(), 1u);

  // 3. Likewise more constraints than layout takes.
  UIDiagnostics::clearRecorded();
  auto busy = UIWindow::create({400, 800}, 1);
  auto box = addView(busy, "box");
  place(box, busy, {5, 6, 7, 8});
  for (std::size_t i = 4; i <= UIView::kMaxLayoutConstraints; ++i) {
    box->widthAnchor().constraintEqualToConstant(7)->setActive(true);
  }
  busy->layoutIfNeeded();
  EXPECT_EQ(box->frame(), (CGRect{0, 0, 0, 0}));
  large = reports(UIDiagnostic::Kind::limitExceeded);
  ASSERT_EQ(large.size(), 1u);
  EXPECT_THAT(large[0].message, HasSubstr("2 views and 8193 constraints"));
}
