// Both templates drawn in light and dark appearance, compared with the images in
// tests/templates/golden/ (tolerance in support/GoldenImage.h). After an intended change
// of a template's drawing, rewrite them with
//   TILO_UPDATE_GOLDEN=1 build/debug/tilo_templates_tests --gtest_filter='*Golden*'
// and look at the new files before committing them.
#include "support/GoldenImage.h"
#include "templates/TemplatesTestSupport.h"

namespace tilo::test {
namespace {

using platform::UIUserInterfaceStyle;

constexpr const char* kLongHeadline =
    "An unusually long headline that runs well past the width of any phone screen, so that "
    "every template has to cut it somewhere sensible";

std::filesystem::path golden(const std::string& name) {
  return std::filesystem::path(TILO_SOURCE_DIR) / "tests/templates/golden" / (name + ".png");
}

class TemplatesGoldenTest : public TemplatesTest {
 protected:
  // Scale 1 keeps the images small; the layout is in points either way.
  void useWindow(UIUserInterfaceStyle appearance) {
    window = platform::UIWindow::create({390, 844}, 1, {47, 0, 34, 0});
    window->setBackgroundColor(platform::UIColor::systemBackgroundColor());
    window->setAppearance(appearance);
  }

  void expectPopup(UIUserInterfaceStyle appearance, const std::string& native,
                   const std::string& name) {
    useWindow(appearance);
    loadPopup(R"({"native": )" + native + "}");
    ad->show(game);
    settle(platform::UIViewController::transitionDuration);
    ASSERT_EQ(game->presentedViewController(), popup);
    expectGoldenImage(*window, golden(name));
    ad.reset();
    popup.reset();
  }

  void expectLine(UIUserInterfaceStyle appearance, const std::string& native,
                  const std::string& name) {
    useWindow(appearance);
    script("gad/native", R"({"native": )" + native + "}");
    placeLine();
    ASSERT_EQ(lineLoads, 1);
    // The strip alone, over the host's screen, as a host's placement would show it.
    auto strip = platform::UIWindow::create({390, 60}, 1);
    strip->setBackgroundColor(platform::UIColor::systemBackgroundColor());
    strip->setAppearance(appearance);
    line->setFrame({0, 0, 390, 60});
    strip->addSubview(line);
    expectGoldenImage(*strip, golden(name));
  }
};

TEST_F(TemplatesGoldenTest, LightPopupGolden) {
  const std::string full =
      R"({"headline": ")" + std::string(kLongHeadline) +
      R"(", "body": "Build, trade and explore with friends in a world that never sleeps.", "callToAction": "Install", "icon": true, "media": true})";
  expectPopup(UIUserInterfaceStyle::light, full, "lightPopup-light");
  expectPopup(UIUserInterfaceStyle::dark, full, "lightPopup-dark");
  expectPopup(
      UIUserInterfaceStyle::light,
      R"({"headline": "Puzzle Garden", "body": "Relax with a new puzzle every day.", "icon": true, "media": true})",
      "lightPopup-noCta");
}

TEST_F(TemplatesGoldenTest, LineBannerGolden) {
  const std::string full =
      R"({"headline": ")" + std::string(kLongHeadline) + R"(", "callToAction": "Install"})";
  expectLine(UIUserInterfaceStyle::light, full, "lineBanner-light");
  expectLine(UIUserInterfaceStyle::dark, full, "lineBanner-dark");
  expectLine(UIUserInterfaceStyle::light, R"({"headline": "Puzzle Garden"})", "lineBanner-noCta");
}

}  // namespace
}  // namespace tilo::test
