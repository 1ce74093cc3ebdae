// Label shrink-to-fit, and the cap on label text. Stack view distributions and hidden
// arranged views are drawn by the line banner's and the inspector's golden images.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/TestEnvironment.h"
#include "platform/ui/LayoutDump.h"
#include "platform/ui/UIDiagnostics.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UIWindow.h"

using namespace tilo::platform;

TEST(LabelTest, LabelsShrinkToFitThenTruncate) {
  TestEnvironment env;
  auto window = UIWindow::create({400, 400}, 2);
  auto cta = UILabel::create();
  cta->setText("Install the game now");
  cta->setAdjustsFontSizeToFitWidth(true);
  cta->setMinimumScaleFactor(0.5);
  cta->setTranslatesAutoresizingMaskIntoConstraints(false);
  window->addSubview(cta);
  double natural = cta->intrinsicContentSize().width;
  auto width = cta->widthAnchor().constraintEqualToConstant(std::floor(natural * 0.7));
  NSLayoutConstraint::activateConstraints({
      cta->leftAnchor().constraintEqualToAnchor(window->leftAnchor(), 10),
      cta->topAnchor().constraintEqualToAnchor(window->topAnchor(), 10),
      width,
  });
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
  const double oneLine = cta->frame().height();
  cta->setNumberOfLines(2);
  EXPECT_DOUBLE_EQ(cta->fontSizeForWidth(cta->bounds().width()), 17);
  window->layoutIfNeeded();
  EXPECT_GT(cta->frame().height(), 1.5 * oneLine) << "two lines, laid out again";

  // 4. 100,000 characters are cut to the limit with a report, and still measure.
  UIDiagnostics::clearRecorded();
  auto huge = UILabel::create();
  huge->setText(std::string(100000, 'x'));
  EXPECT_EQ(huge->text().size(), UILabel::maxTextLength);
  ASSERT_EQ(UIDiagnostics::recorded().size(), 1u);
  EXPECT_EQ(UIDiagnostics::recorded()[0].kind, UIDiagnostic::Kind::textTooLong);
  EXPECT_GT(huge->intrinsicContentSize().width, 10000);
}
