// The line banner in a 390 × 60 strip: where the badge, headline, divider and pill sit,
// how a long headline or a missing call to action changes the line, and when a new
// configuration shows.
#include "templates/TemplatesTestSupport.h"

namespace tilo::test {
namespace {

using Strings = std::vector<std::string>;

using platform::CGRect;
using platform::UIUserInterfaceStyle;

constexpr double kTolerance = 0.01;
// Frames snap to the pixels of the scale-3 window.
constexpr double kPixel = 1.0 / 3 + 0.01;

// Spacing and sizes inside the stack are pinned by the golden images (long headline with
// a call to action, short one without); here the cases they do not draw.
TEST_F(TemplatesTest, LineBannerFrames) {
  script("gad/native", R"({"native": {"headline": "Short news", "callToAction": "Install"}})");
  placeLine();
  ASSERT_EQ(lineLoads, 1);
  const auto& stack = *line->textStackView();
  // 1. A short line's stack centred (its texts: the layout dump test).
  EXPECT_NEAR(frameIn(stack, *line).midX(), 195, kPixel);
  EXPECT_NEAR(frameIn(stack, *line).midY(), 30, kPixel);
  // 2. The invisible button covers the line and takes no touches after rendering.
  EXPECT_EQ(frameIn(*line->internalCallToActionButton(), *line), (CGRect{0, 0, 390, 60}));
  EXPECT_EQ(line->internalCallToActionButton()->alpha(), 0);
  // 3. A 200-character headline: the stack keeps 20 points from both sides and no
  //    constraint gives way.
  script("gad/native", R"({"native": {"headline": ")" + std::string(200, 'W') +
                           R"(", "callToAction": "Install now"}})");
  line->loadAd();
  settle();
  ASSERT_EQ(lineLoads, 2);
  EXPECT_GE(frameIn(stack, *line).minX(), 20 - kTolerance);
  EXPECT_LE(frameIn(stack, *line).maxX(), 370 + kTolerance);
  EXPECT_TRUE(line->droppedConstraints().empty());
  // 4. Without a call to action: pill, divider and button hidden; the next ad with one
  //    shows them again.
  script("gad/native", R"({"native": {"headline": "Short news"}})");
  line->loadAd();
  settle();
  ASSERT_EQ(lineLoads, 3);
  EXPECT_TRUE(line->fakeCTALabel()->isHidden());
  EXPECT_TRUE(line->dividerView()->isHidden());
  EXPECT_TRUE(line->internalCallToActionButton()->isHidden());
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
    return Strings{colour(line->backgroundColor()),
                   badge->titleColorForState(platform::UIControlState::normal)
                       .hexString(UIUserInterfaceStyle::light),
                   colour(badge->backgroundColor()),
                   line->internalTitleLabel()->textColor().hexString(UIUserInterfaceStyle::light),
                   line->fakeCTALabel()->textColor().hexString(UIUserInterfaceStyle::light),
                   colour(line->fakeCTALabel()->backgroundColor())};
  };
  // 1. The default colours (label colours, gray 3 at 0.3, secondary at 0.5) are drawn in the
  //    golden images; the line paints no background of its own until one is assigned.
  const Strings defaults = state();
  EXPECT_EQ(defaults[0], "none");
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
  EXPECT_EQ(state(), (Strings{"#FF0000FF", "#00FF00FF", "#0000FFFF", "#FFFF00FF", "#00FFFFFF",
                              "#FF00FFFF"}));
}

}  // namespace
}  // namespace tilo::test
