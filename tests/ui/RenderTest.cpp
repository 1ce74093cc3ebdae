// Rendering: what each drawing property does to the pixels, and golden images.
//
// Golden images live in tests/ui/golden/. A render matches when no channel of any pixel
// differs by more than 24 and at most 0.5 % of the pixels differ by more than 4 (room for
// antialiasing differences between cairo and pixman versions). After an intended change
// of the drawing, rewrite them with
//   TILO_UPDATE_GOLDEN=1 build/debug/tilo_ui_tests --gtest_filter='Golden*'
// and look at the new files before committing them.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/TestEnvironment.h"
#include "platform/ui/UIButton.h"
#include "platform/ui/UIImageView.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UIViewController.h"
#include "platform/ui/UIVisualEffectView.h"
#include "platform/ui/UIWindow.h"
#include "platform/ui/ViewRenderer.h"

using namespace tilo::platform;

namespace {

using Pixel = std::array<int, 4>;

Pixel at(const ViewRenderer::Image& image, int x, int y) {
  const std::uint8_t* p = &image.rgba[(std::size_t(y) * image.width + x) * 4];
  return {p[0], p[1], p[2], p[3]};
}

bool near(const Pixel& a, const Pixel& b, int tolerance = 3) {
  for (int i = 0; i < 4; ++i) {
    if (std::abs(a[i] - b[i]) > tolerance) return false;
  }
  return true;
}

std::string show(const Pixel& p) {
  return "(" + std::to_string(p[0]) + ", " + std::to_string(p[1]) + ", " + std::to_string(p[2]) +
         ", " + std::to_string(p[3]) + ")";
}

#define EXPECT_PIXEL(image, x, y, ...)                                                    \
  do {                                                                                    \
    Pixel actual = at(image, x, y), expected = __VA_ARGS__;                               \
    EXPECT_TRUE(near(actual, expected))                                                   \
        << "at (" << x << ", " << y << "): " << show(actual) << " vs " << show(expected); \
  } while (0)

const Pixel kWhite{255, 255, 255, 255};
const Pixel kRed{255, 0, 0, 255};
const Pixel kBlue{0, 0, 255, 255};
const Pixel kClear{0, 0, 0, 0};

std::shared_ptr<UIWindow> whiteWindow(CGSize size, double scale = 1) {
  auto window = UIWindow::create(size, scale);
  window->setBackgroundColor(UIColor::whiteColor());
  return window;
}

std::shared_ptr<UIView> box(const CGRect& frame, const UIColor& color) {
  auto view = UIView::create(frame);
  view->setBackgroundColor(color);
  return view;
}

}  // namespace

TEST(Render, BackgroundsAlphaCornersBordersAndClipping) {
  TestEnvironment env;
  auto window = whiteWindow({100, 100});
  auto parent = box({10, 10, 40, 40}, UIColor(1, 0, 0));
  auto child = box({30, 30, 20, 20}, UIColor(0, 0, 1));  // sticks out of the parent
  parent->addSubview(child);
  window->addSubview(parent);
  ViewRenderer renderer;

  // 1. Backgrounds, and a subview drawn over its parent and beyond it.
  auto image = renderer.render(*window);
  ASSERT_EQ(image.width, 100);
  EXPECT_PIXEL(image, 5, 5, kWhite);
  EXPECT_PIXEL(image, 20, 20, kRed);
  EXPECT_PIXEL(image, 45, 45, kBlue);
  EXPECT_PIXEL(image, 55, 55, kBlue);

  // 2. Clipping cuts the child at the parent's edge.
  parent->setClipsToBounds(true);
  image = renderer.render(*window);
  EXPECT_PIXEL(image, 45, 45, kBlue);
  EXPECT_PIXEL(image, 55, 55, kWhite);

  // 3. Alpha blends the whole group: the overlap shows blue over white, not over red.
  parent->setAlpha(0.5);
  image = renderer.render(*window);
  EXPECT_PIXEL(image, 20, 20, (Pixel{255, 128, 128, 255}));
  EXPECT_PIXEL(image, 45, 45, (Pixel{128, 128, 255, 255}));
  parent->setAlpha(1);

  // 4. Hidden views and their subtrees are not drawn.
  parent->setHidden(true);
  image = renderer.render(*window);
  EXPECT_PIXEL(image, 20, 20, kWhite);
  EXPECT_PIXEL(image, 45, 45, kWhite);
  parent->setHidden(false);

  // 5. A corner radius rounds the background (and the clip); a border is drawn inside
  //    the bounds, above the subviews.
  parent->layer().setCornerRadius(10);
  parent->layer().setBorderWidth(2);
  parent->layer().setBorderColor(UIColor(0, 0.5, 0));
  image = renderer.render(*window);
  EXPECT_PIXEL(image, 10, 10, kWhite);
  EXPECT_PIXEL(image, 11, 30, (Pixel{0, 128, 0, 255}));
  EXPECT_PIXEL(image, 30, 48, (Pixel{0, 128, 0, 255}));
  EXPECT_PIXEL(image, 48, 40, (Pixel{0, 128, 0, 255}));  // the border covers the child
  EXPECT_PIXEL(image, 30, 30, kRed);
  EXPECT_PIXEL(image, 49, 49, kWhite);  // the rounded clip cuts the child's corner
}

TEST(Render, PixelFormatsScaleAndTheBufferContract) {
  TestEnvironment env;
  auto window = UIWindow::create({10, 10}, 2);  // transparent: no background
  window->addSubview(box({0, 0, 5, 10}, UIColor(1, 0, 0, 0.5)));
  ViewRenderer renderer;

  // 1. At the window's scale; straight or premultiplied alpha; transparent elsewhere.
  auto straight = renderer.render(*window, AlphaMode::straight);
  EXPECT_EQ(straight.width, 20);
  EXPECT_PIXEL(straight, 4, 4, (Pixel{255, 0, 0, 128}));
  EXPECT_PIXEL(straight, 15, 4, kClear);
  auto premultiplied = renderer.render(*window, AlphaMode::premultiplied);
  EXPECT_PIXEL(premultiplied, 4, 4, (Pixel{128, 0, 0, 128}));

  // 2. Into caller memory with a wider stride; the padding stays untouched.
  std::vector<std::uint8_t> buffer(20 * 96, 0xAB);
  std::string error;
  ASSERT_TRUE(renderer.renderRGBA(*window, buffer.data(), 20, 20, 96, AlphaMode::straight, &error))
      << error;
  EXPECT_EQ(buffer[95], 0xAB);
  EXPECT_EQ(buffer[96 + 3], 128);

  // 3. Wrong sizes and strides are refused with a reason.
  EXPECT_FALSE(
      renderer.renderRGBA(*window, buffer.data(), 10, 10, 96, AlphaMode::straight, &error));
  EXPECT_EQ(error, "the buffer is 10 x 10 pixels; the view needs 20 x 20");
  EXPECT_FALSE(
      renderer.renderRGBA(*window, buffer.data(), 20, 20, 40, AlphaMode::straight, &error));

  // 4. Any view renders on its own at the scale asked for, without its surroundings.
  auto view = box({3, 3, 4, 2}, UIColor(0, 0, 1));
  window->addSubview(view);
  auto alone = renderer.render(*view, AlphaMode::straight, 3);
  EXPECT_EQ(alone.width, 12);
  EXPECT_EQ(alone.height, 6);
  EXPECT_PIXEL(alone, 0, 0, kBlue);
}

TEST(Render, BlurSoftensWhatLiesBeneathOnlyInsideTheEffectView) {
  TestEnvironment env;
  auto window = whiteWindow({120, 60}, 2);
  window->addSubview(box({0, 0, 60, 60}, UIColor(0, 0, 0)));  // black left half
  auto blur = UIVisualEffectView::create(
      UIBlurEffect::effectWithStyle(UIBlurEffectStyle::systemUltraThinMaterialLight));
  blur->setFrame({30, 0, 60, 30});
  window->addSubview(blur);
  ViewRenderer renderer;
  auto image = renderer.render(*window);

  // 1. Under the blur the black-white edge at x = 60 points turns into a ramp.
  int y = 20;  // 10 points down, inside the blur
  Pixel left = at(image, 104, y), edge = at(image, 120, y), right = at(image, 136, y);
  EXPECT_LT(left[0], edge[0]);
  EXPECT_LT(edge[0], right[0]);
  EXPECT_GT(edge[0], 60);
  EXPECT_LT(edge[0], 200);
  // 2. Below the blur the edge stays sharp.
  EXPECT_PIXEL(image, 118, 100, (Pixel{0, 0, 0, 255}));
  EXPECT_PIXEL(image, 122, 100, kWhite);
  // 3. The light material tints towards white even deep in the black.
  EXPECT_GT(at(image, 62, y)[0], 40);
}

TEST(Render, PresentedControllersDrawAsTheirTransitionStands) {
  TestEnvironment env;
  auto window = whiteWindow({40, 40});
  auto game = UIViewController::create("game");
  window->setRootViewController(game);
  auto popup = UIViewController::create("popup");
  popup->view()->setBackgroundColor(UIColor(0, 0, 1));
  popup->setModalTransitionStyle(UIModalTransitionStyle::crossDissolve);
  popup->setModalPresentationStyle(UIModalPresentationStyle::overFullScreen);
  game->presentViewController(popup, true);
  ViewRenderer renderer;

  EXPECT_PIXEL(renderer.render(*window), 20, 20, kWhite);
  env.advance(0.15);
  EXPECT_PIXEL(renderer.render(*window), 20, 20, (Pixel{128, 128, 255, 255}));
  env.advance(0.15);
  EXPECT_PIXEL(renderer.render(*window), 20, 20, kBlue);

  // Cover-vertical slides up from the bottom: half way, the top half is still uncovered.
  popup->dismissViewController(false);
  env.runUntilIdle();
  auto sheet = UIViewController::create("sheet");
  sheet->view()->setBackgroundColor(UIColor(1, 0, 0));
  game->presentViewController(sheet, true);
  env.advance(0.15);
  auto halfway = renderer.render(*window);
  EXPECT_PIXEL(halfway, 20, 10, kWhite);
  EXPECT_PIXEL(halfway, 20, 30, kRed);
}

namespace {

std::filesystem::path goldenPath(const std::string& name) {
  return std::filesystem::path(TILO_SOURCE_DIR) / "tests/ui/golden" / (name + ".png");
}

// Compares with the golden image, or rewrites it under TILO_UPDATE_GOLDEN=1.
void expectGolden(UIView& view, const std::string& name) {
  ViewRenderer renderer;
  auto actual = renderer.render(view, AlphaMode::straight);
  const char* update = std::getenv("TILO_UPDATE_GOLDEN");
  if (update && std::string(update) == "1") {
    std::string error;
    ASSERT_TRUE(ViewRenderer::writePNG(view, goldenPath(name).string(), &error)) << error;
    return;
  }
  std::ifstream in(goldenPath(name), std::ios::binary);
  ASSERT_TRUE(in) << "missing " << goldenPath(name) << " (TILO_UPDATE_GOLDEN=1 writes it)";
  Bytes png((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string error;
  auto golden = UIImage::imageWithData(png, 1, &error);
  ASSERT_TRUE(golden) << error;
  ASSERT_EQ(golden->pixelWidth(), actual.width);
  ASSERT_EQ(golden->pixelHeight(), actual.height);
  cairo_surface_t* surface = golden->surface();
  const unsigned char* data = cairo_image_surface_get_data(surface);
  int stride = cairo_image_surface_get_stride(surface);
  int worst = 0;
  std::size_t off = 0;
  for (int y = 0; y < actual.height; ++y) {
    for (int x = 0; x < actual.width; ++x) {
      std::uint32_t p = reinterpret_cast<const std::uint32_t*>(data + y * stride)[x];
      int a = static_cast<int>(p >> 24);
      auto straight = [a](std::uint32_t c) {
        return a ? static_cast<int>((c * 255 + a / 2) / a) : 0;
      };
      Pixel g{straight((p >> 16) & 0xFF), straight((p >> 8) & 0xFF), straight(p & 0xFF), a};
      Pixel r = at(actual, x, y);
      int diff = 0;
      for (int i = 0; i < 4; ++i) diff = std::max(diff, std::abs(g[i] - r[i]));
      // Colour channels of (nearly) transparent pixels carry no information.
      if (a < 8 && r[3] < 8) diff = std::abs(a - r[3]);
      worst = std::max(worst, diff);
      off += diff > 4;
    }
  }
  EXPECT_LE(worst, 24) << name;
  EXPECT_LE(off, static_cast<std::size_t>(actual.width * actual.height / 200)) << name;
}

// A small ad card: rounded grouped background with a border, an icon, a bold title, a
// two-line body, a call-to-action pill and a close button with the xmark symbol.
std::shared_ptr<UIWindow> cardScene(UIUserInterfaceStyle appearance) {
  auto window = UIWindow::create({220, 150}, 2);
  window->setAppearance(appearance);
  window->setBackgroundColor(UIColor::systemBackgroundColor());
  auto card = UIView::create({10, 10, 200, 130});
  card->setBackgroundColor(UIColor::systemGroupedBackgroundColor());
  card->layer().setCornerRadius(16);
  card->layer().setBorderWidth(1);
  card->layer().setBorderColor(*UIColor::fromHex("#3E434F"));
  card->setClipsToBounds(true);
  window->addSubview(card);
  auto icon = UIImageView::create(
      UIImage::generated({40, 40}, UIColor::systemRedColor(), UIColor::systemBlueColor(), "Ad"));
  icon->setFrame({12, 12, 40, 40});
  icon->layer().setCornerRadius(4);
  icon->setClipsToBounds(true);
  card->addSubview(icon);
  auto title = UILabel::create({60, 12, 128, 22});
  title->setText("Island Builder");
  title->setFont(UIFont::systemFont(17, UIFontWeight::bold));
  card->addSubview(title);
  auto body = UILabel::create({60, 34, 128, 34});
  body->setText("Build, trade and explore with friends every day.");
  body->setFont(UIFont::systemFont(12));
  body->setNumberOfLines(2);
  body->setTextColor(UIColor::systemGrayColor());
  card->addSubview(body);
  auto pill = UILabel::create({12, 80, 120, 36});
  pill->setText("Install the game now for free");
  pill->setFont(UIFont::systemFont(17, UIFontWeight::semibold));
  pill->setTextAlignment(NSTextAlignment::center);
  pill->setAdjustsFontSizeToFitWidth(true);
  pill->setMinimumScaleFactor(0.5);
  pill->setTextColor(UIColor::whiteColor());
  pill->setBackgroundColor(UIColor::systemRedColor());
  pill->layer().setCornerRadius(12);
  card->addSubview(pill);
  auto close = UIButton::create();
  close->setImage(UIImage::systemImageNamed("xmark"), UIControlState::normal);
  close->setTitle("Close", UIControlState::normal);
  close->setTitleColor(UIColor::labelColor(), UIControlState::normal);
  close->setTintColor(UIColor::labelColor());
  close->titleLabel()->setFont(UIFont::systemFont(12, UIFontWeight::bold));
  close->setImageEdgeInsets({0, 0, 0, 4});
  close->setTitleEdgeInsets({0, 4, 0, 0});
  close->setFrame({136, 84, 60, 28});
  card->addSubview(close);
  return window;
}

}  // namespace

TEST(Golden, CardInLightAndDark) {
  TestEnvironment env;
  expectGolden(*cardScene(UIUserInterfaceStyle::light), "card-light");
  expectGolden(*cardScene(UIUserInterfaceStyle::dark), "card-dark");
}
