// Stack view distributions and collapsing, and label shrink-to-fit.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/TestEnvironment.h"
#include "platform/ui/LayoutDump.h"
#include "platform/ui/UIDiagnostics.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UIStackView.h"
#include "platform/ui/UIWindow.h"

using namespace tilo::platform;

namespace {

std::shared_ptr<UIView> withHeight(double height) {
  auto view = UIView::create();
  view->setTranslatesAutoresizingMaskIntoConstraints(false);
  view->heightAnchor().constraintEqualToConstant(height)->setActive(true);
  return view;
}

std::shared_ptr<UILabel> label(const std::string& text) {
  auto l = UILabel::create();
  l->setText(text);
  return l;
}

class StackTest : public ::testing::Test {
 protected:
  std::shared_ptr<NSLayoutConstraint> pin(const std::shared_ptr<UIView>& view, double width) {
    view->setTranslatesAutoresizingMaskIntoConstraints(false);
    window->addSubview(view);
    auto widthConstraint = view->widthAnchor().constraintEqualToConstant(width);
    NSLayoutConstraint::activateConstraints({
        view->leftAnchor().constraintEqualToAnchor(window->leftAnchor(), 10),
        view->topAnchor().constraintEqualToAnchor(window->topAnchor(), 10),
        widthConstraint,
    });
    return widthConstraint;
  }
  TestEnvironment env;
  std::shared_ptr<UIWindow> window = UIWindow::create({400, 400}, 2);
};

}  // namespace

TEST_F(StackTest, DistributionsShareTheAxis) {
  // 1. fillEqually, centred: equal widths, and the stack hugs the tallest view.
  auto a = withHeight(20), b = withHeight(30), c = withHeight(10);
  auto equal = UIStackView::create({a, b, c});
  equal->setSpacing(10);
  equal->setDistribution(UIStackViewDistribution::fillEqually);
  equal->setAlignment(UIStackViewAlignment::center);
  pin(equal, 320);
  window->layoutIfNeeded();
  EXPECT_EQ(a->frame(), (CGRect{0, 5, 100, 20}));
  EXPECT_EQ(b->frame(), (CGRect{110, 0, 100, 30}));
  EXPECT_EQ(c->frame(), (CGRect{220, 10, 100, 10}));
  EXPECT_EQ(equal->frame().height(), 30);
  equal->removeFromSuperview();

  // 2. fillProportionally: widths follow the intrinsic widths over the room left after
  //    spacing.
  auto x = label("AD"), y = label("A much longer headline"), z = label("Install");
  auto proportional = UIStackView::create({x, y, z});
  proportional->setSpacing(4);
  proportional->setDistribution(UIStackViewDistribution::fillProportionally);
  double total = x->intrinsicContentSize().width + y->intrinsicContentSize().width +
                 z->intrinsicContentSize().width;
  pin(proportional, 300);
  window->layoutIfNeeded();
  for (auto& l : {x, y, z}) {
    EXPECT_NEAR(l->frame().width(), (300 - 8) * l->intrinsicContentSize().width / total, 0.51)
        << l->text();
  }
  EXPECT_NEAR(z->frame().maxX(), 300, 0.01);
  EXPECT_EQ(layoutDump(*proportional)["views"][0]["axis"], "horizontal");
  // fill, where the view that hugs least stretches, is the default: see the next test
  // and, for hugging itself, IntrinsicSizesYieldByHuggingAndCompressionPriorities.
}

TEST_F(StackTest, HiddenArrangedViewsCollapseWithTheirSpacing) {
  auto badge = label("AD"), title = label("Headline"), pill = label("Get");
  auto divider = withHeight(12);
  divider->widthAnchor().constraintEqualToConstant(1)->setActive(true);
  auto line = UIStackView::create({badge, title, divider, pill});
  line->setSpacing(4);
  line->setCustomSpacing(10, divider.get());
  line->setAlignment(UIStackViewAlignment::center);
  line->setTranslatesAutoresizingMaskIntoConstraints(false);
  window->addSubview(line);
  NSLayoutConstraint::activateConstraints({
      line->centerXAnchor().constraintEqualToAnchor(window->centerXAnchor()),
      line->centerYAnchor().constraintEqualToAnchor(window->centerYAnchor()),
  });
  window->layoutIfNeeded();
  double badgeWidth = badge->intrinsicContentSize().width;
  double titleWidth = title->intrinsicContentSize().width;
  double pillWidth = pill->intrinsicContentSize().width;

  // 1. All shown: spacing 4, 10 after the divider; the stack hugs its content, centred.
  EXPECT_EQ(title->frame().x(), badgeWidth + 4);
  EXPECT_EQ(divider->frame().x(), badgeWidth + 4 + titleWidth + 4);
  EXPECT_EQ(pill->frame().x(), divider->frame().maxX() + 10);
  EXPECT_EQ(line->frame().width(), badgeWidth + titleWidth + pillWidth + 1 + 4 + 4 + 10);
  EXPECT_NEAR(line->frame().midX(), 200, 0.5);

  // 2. Pill and divider hidden: they leave the line with their spacing; the rest stays
  //    centred; the divider's own required width causes no conflict.
  UIDiagnostics::clearRecorded();
  pill->setHidden(true);
  divider->setHidden(true);
  window->layoutIfNeeded();
  EXPECT_EQ(line->frame().width(), badgeWidth + 4 + titleWidth);
  EXPECT_NEAR(line->frame().midX(), 200, 0.5);
  EXPECT_TRUE(UIDiagnostics::recorded().empty());

  // 3. Only the middle one hidden: its neighbours close up with one spacing.
  pill->setHidden(false);
  divider->setHidden(false);
  title->setHidden(true);
  window->layoutIfNeeded();
  EXPECT_EQ(divider->frame().x(), badgeWidth + 4);

  // 4. Vertical and leading: stacked downwards at their own widths.
  title->setHidden(false);
  line->setAxis(UILayoutConstraintAxis::vertical);
  line->setAlignment(UIStackViewAlignment::leading);
  window->layoutIfNeeded();
  EXPECT_EQ(title->frame().x(), 0);
  EXPECT_EQ(title->frame().y(), badge->frame().maxY() + 4);
  EXPECT_EQ(title->frame().width(), titleWidth);
  EXPECT_EQ(pill->frame().y(), divider->frame().maxY() + 10);
}

TEST_F(StackTest, LabelsShrinkToFitThenTruncate) {
  auto cta = label("Install the game now");
  cta->setAdjustsFontSizeToFitWidth(true);
  cta->setMinimumScaleFactor(0.5);
  double natural = cta->intrinsicContentSize().width;
  auto width = pin(cta, std::floor(natural * 0.7));
  window->layoutIfNeeded();

  // 1. 70 % of the room: the font shrinks to about 70 % and the text fits, uncut.
  double size = cta->fontSizeForWidth(cta->bounds().width());
  EXPECT_LT(size, 17 * 0.71);
  EXPECT_GT(size, 17 * 0.6);
  EXPECT_FALSE(cta->isTruncatedInBounds(cta->bounds()));
  EXPECT_NEAR(layoutDump(*cta)["views"][0]["drawnFontSize"].get<double>(), size, 0.001);

  // 2. 30 % of the room: it stops at half size and truncates.
  width->setConstant(std::floor(natural * 0.3));
  window->layoutIfNeeded();
  EXPECT_DOUBLE_EQ(cta->fontSizeForWidth(cta->bounds().width()), 8.5);
  EXPECT_TRUE(cta->isTruncatedInBounds(cta->bounds()));

  // 3. No shrinking with several lines or without a minimum scale.
  cta->setMinimumScaleFactor(0);
  EXPECT_DOUBLE_EQ(cta->fontSizeForWidth(cta->bounds().width()), 17);
  cta->setMinimumScaleFactor(0.5);
  cta->setNumberOfLines(2);
  EXPECT_DOUBLE_EQ(cta->fontSizeForWidth(cta->bounds().width()), 17);

  // 4. 100,000 characters are cut to the limit with a report, and still measure.
  UIDiagnostics::clearRecorded();
  auto huge = UILabel::create();
  huge->setText(std::string(100000, 'x'));
  EXPECT_EQ(huge->text().size(), UILabel::maxTextLength);
  ASSERT_EQ(UIDiagnostics::recorded().size(), 1u);
  EXPECT_EQ(UIDiagnostics::recorded()[0].kind, UIDiagnostic::Kind::textTooLong);
  EXPECT_GT(huge->intrinsicContentSize().width, 10000);
}
