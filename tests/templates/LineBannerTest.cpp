// The line banner in a 390 × 60 strip: where the badge, headline, divider and pill sit,
// how a long headline or a missing call to action changes the line, and when a new
// configuration shows.
#include "templates/TemplatesTestSupport.h"

namespace tilo::test {
namespace {

using platform::CGRect;
using platform::UIUserInterfaceStyle;

constexpr double kTolerance = 0.01;
// Frames snap to the pixels of the scale-3 window.
constexpr double kPixel = 1.0 / 3 + 0.01;

TEST_F(TemplatesTest, LineBannerFrames) {
  script("gad/native", R"({"native": {"headline": "Short news", "callToAction": "Install"}})");
  placeLine();
  ASSERT_EQ(lineLoads, 1);
  const auto& stack = *line->textStackView();
  auto badge = frameIn(*line->adMarkButton(), *line);
  auto title = frameIn(*line->internalTitleLabel(), *line);
  auto divider = frameIn(*line->dividerView(), *line);
  auto pill = frameIn(*line->fakeCTALabel(), *line);
  auto stackFrame = frameIn(stack, *line);
  // 1. Filled, with the stack centred in the line.
  EXPECT_EQ(line->internalTitleLabel()->text(), "Short news");
  EXPECT_EQ(line->fakeCTALabel()->text(), "Install");
  EXPECT_NEAR(stackFrame.midX(), 195, kPixel);
  EXPECT_NEAR(stackFrame.midY(), 30, kPixel);
  // 2. Badge 30 wide, divider 1 × 12, pill at least 30; 4 points apart, 10 after the
  //    divider.
  EXPECT_NEAR(badge.width(), 30, kTolerance);
  EXPECT_NEAR(divider.width(), 1, kTolerance);
  EXPECT_NEAR(divider.height(), 12, kTolerance);
  EXPECT_GE(pill.width(), 30 - kTolerance);
  EXPECT_NEAR(title.minX() - badge.maxX(), 4, kTolerance);
  EXPECT_NEAR(divider.minX() - title.maxX(), 4, kTolerance);
  EXPECT_NEAR(pill.minX() - divider.maxX(), 10, kTolerance);
  EXPECT_NEAR(pill.midY(), 30, kPixel);
  // 3. The invisible button covers the line and takes no touches after rendering.
  EXPECT_EQ(frameIn(*line->internalCallToActionButton(), *line), (CGRect{0, 0, 390, 60}));
  EXPECT_EQ(line->internalCallToActionButton()->alpha(), 0);
  // 4. A 200-character headline: the stack keeps 20 points from both sides, the badge
  //    stays 30 wide, the pill keeps its room.
  script("gad/native", R"({"native": {"headline": ")" + std::string(200, 'W') +
                           R"(", "callToAction": "Install now"}})");
  line->loadAd();
  settle();
  ASSERT_EQ(lineLoads, 2);
  stackFrame = frameIn(stack, *line);
  EXPECT_GE(stackFrame.minX(), 20 - kTolerance);
  EXPECT_LE(stackFrame.maxX(), 370 + kTolerance);
  EXPECT_NEAR(frameIn(*line->adMarkButton(), *line).width(), 30, kTolerance);
  EXPECT_GE(frameIn(*line->fakeCTALabel(), *line).width(), 30 - kTolerance);
  EXPECT_TRUE(line->droppedConstraints().empty());
  // 5. Without a call to action: pill and divider hidden, badge and headline centred.
  script("gad/native", R"({"native": {"headline": "Short news"}})");
  line->loadAd();
  settle();
  ASSERT_EQ(lineLoads, 3);
  EXPECT_TRUE(line->fakeCTALabel()->isHidden());
  EXPECT_TRUE(line->dividerView()->isHidden());
  EXPECT_TRUE(line->internalCallToActionButton()->isHidden());
  stackFrame = frameIn(stack, *line);
  title = frameIn(*line->internalTitleLabel(), *line);
  EXPECT_NEAR(stackFrame.midX(), 195, kPixel);
  EXPECT_NEAR(stackFrame.maxX(), title.maxX(), kTolerance);
  // 6. And the next ad with one shows both again.
  script("gad/native", R"({"native": {"headline": "Back", "callToAction": "Open"}})");
  line->loadAd();
  settle();
  EXPECT_FALSE(line->fakeCTALabel()->isHidden());
  EXPECT_FALSE(line->dividerView()->isHidden());
}

TEST_F(TemplatesTest, LineBannerConfigurationShowsWhenAssigned) {
  script("gad/native", R"({"native": {"headline": "News", "callToAction": "Install"}})");
  placeLine();
  auto colour = [](const std::optional<platform::UIColor>& c) {
    return c ? c->hexString(UIUserInterfaceStyle::light) : std::string("none");
  };
  const auto& badge = line->adMarkButton();
  auto state = [&] {
    return std::vector<std::string>{
        colour(line->backgroundColor()),
        badge->titleColorForState(platform::UIControlState::normal)
            .hexString(UIUserInterfaceStyle::light),
        colour(badge->backgroundColor()),
        line->internalTitleLabel()->textColor().hexString(UIUserInterfaceStyle::light),
        line->fakeCTALabel()->textColor().hexString(UIUserInterfaceStyle::light),
        colour(line->fakeCTALabel()->backgroundColor())};
  };
  // 1. The defaults: system background, label colours, gray 3 at 0.3, secondary at 0.5.
  const std::vector<std::string> defaults{"#FFFFFFFF", "#000000FF", "#C7C7CC4D",
                                          "#000000FF", "#000000FF", "#F2F2F780"};
  EXPECT_EQ(state(), defaults);
  // 2. Changing the object in place shows nothing.
  auto configuration = line->configuration();
  configuration->backgroundColor = platform::UIColor(1, 0, 0);
  configuration->adMarkTextColor = platform::UIColor(0, 1, 0);
  configuration->adMarkBackgroundColor = platform::UIColor(0, 0, 1);
  configuration->titleTextColor = platform::UIColor(1, 1, 0);
  configuration->ctaTextColor = platform::UIColor(0, 1, 1);
  configuration->ctaBackgroundColor = platform::UIColor(1, 0, 1);
  EXPECT_EQ(state(), defaults);
  // 3. Assigning it again recolours all six at once.
  line->setConfiguration(configuration);
  EXPECT_EQ(state(), (std::vector<std::string>{"#FF0000FF", "#00FF00FF", "#0000FFFF", "#FFFF00FF",
                                               "#00FFFFFF", "#FF00FFFF"}));
}

}  // namespace
}  // namespace tilo::test
