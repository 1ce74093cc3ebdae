// Rendering: what each drawing property does to the pixels, and golden images (see
// tests/ui/golden/README.md for their tolerance and how to rewrite them).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "platform/TestEnvironment.h"
#include "platform/ui/BackdropBlur.h"
#include "platform/ui/LayerCache.h"
#include "platform/ui/PixelFormat.h"
#include "platform/ui/RetainedRenderer.h"
#include "platform/ui/UIButton.h"
#include "platform/ui/UIImageView.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UIViewController.h"
#include "platform/ui/UIVisualEffectView.h"
#include "platform/ui/UIWindow.h"
#include "platform/ui/ViewRenderer.h"
#include "support/GoldenImage.h"

using namespace tilo::platform;

namespace {

using Pixel = std::array<int, 4>;

Pixel at(const ViewRenderer::Image& image, int x, int y) {
  const std::uint8_t* p = &image.rgba[(std::size_t(y) * image.width + x) * 4];
  return {p[0], p[1], p[2], p[3]};
}

MATCHER_P(Near, want, "") {
  for (std::size_t i = 0; i < want.size(); ++i) {
    if (std::abs(arg[i] - want[i]) > 3) return false;
  }
  return true;
}

// Each point of `points` ({x, y, pixel}) is near its pixel.
void expectNear(const ViewRenderer::Image& image,
                std::initializer_list<std::tuple<int, int, Pixel>> points) {
  for (const auto& [x, y, want] : points) EXPECT_THAT(at(image, x, y), Near(want)) << x << "," << y;
}

const Pixel kWhite{255, 255, 255, 255};
const Pixel kRed{255, 0, 0, 255};
const Pixel kBlue{0, 0, 255, 255};

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

// Hidden views, clipping, borders and rounded clips are in the golden images (the card's, the
// line banner's, the inspector's).
TEST(Render, BackgroundsGroupAlphaAndCapsules) {
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
  expectNear(image, {{5, 5, kWhite}, {20, 20, kRed}, {45, 45, kBlue}, {55, 55, kBlue}});

  // 2. Alpha blends the whole group: the overlap shows blue over white, not over red.
  parent->setAlpha(0.5);
  image = renderer.render(*window);
  expectNear(image, {{20, 20, {255, 128, 128, 255}}, {45, 45, {128, 128, 255, 255}}});

  // 3. A radius beyond half the height makes a capsule: round ends, straight long sides.
  auto pill = box({0, 60, 60, 20}, UIColor(1, 0, 0));
  pill->layer().setCornerRadius(30);
  window->addSubview(pill);
  image = renderer.render(*window);
  expectNear(image, {{1, 61, kWhite}, {1, 79, kWhite}, {58, 61, kWhite}, {58, 79, kWhite}});
  expectNear(image, {{2, 70, kRed},
                     {57, 70, kRed},
                     {12, 61, kRed},
                     {48, 78, kRed},
                     {30, 60, kRed},
                     {30, 79, kRed}});
}

TEST(Render, TextInAFrameShorterThanALineIsCentredAndClipped) {
  TestEnvironment env;
  auto window = whiteWindow({100, 40});
  auto label = UILabel::create({10, 16, 80, 8});  // a 17 pt line is about 21 pt high
  label->setText("HHHHHH");
  label->setTextColor(UIColor(0, 0, 0));
  window->addSubview(label);
  auto image = ViewRenderer().render(*window);
  // Ink in the frame's top and bottom rows (the line's middle is shown), none outside.
  auto inkIn = [&](int y) {
    int dark = 0;
    for (int x = 0; x < image.width; ++x) dark += at(image, x, y)[0] < 128;
    return dark;
  };
  EXPECT_GT(inkIn(16), 5);
  EXPECT_GT(inkIn(23), 5);
  for (int y : {0, 15, 24, 39}) EXPECT_EQ(inkIn(y), 0) << "row " << y;
}

TEST(Render, PixelFormatsScaleAndTheBufferContract) {
  TestEnvironment env;
  auto window = UIWindow::create({10, 10}, 2);  // transparent: no background
  window->addSubview(box({0, 0, 5, 10}, UIColor(1, 0, 0, 0.5)));
  ViewRenderer renderer;

  // 1. At the window's scale; straight or premultiplied alpha; transparent elsewhere.
  auto straight = renderer.render(*window, AlphaMode::straight);
  EXPECT_EQ(straight.width, 20);
  expectNear(straight, {{4, 4, {255, 0, 0, 128}}, {15, 4, {0, 0, 0, 0}}});
  auto premultiplied = renderer.render(*window, AlphaMode::premultiplied);
  EXPECT_THAT(at(premultiplied, 4, 4), Near(Pixel{128, 0, 0, 128}));

  // 2. Into caller memory with a wider stride; the padding stays untouched.
  std::vector<std::uint8_t> buffer(20 * 96, 0xAB);
  std::string error;
  ASSERT_TRUE(renderer.renderRGBA(*window, buffer.data(), 20, 20, 96, AlphaMode::straight, &error))
      << error;
  EXPECT_EQ(buffer[95], 0xAB);
  EXPECT_EQ(buffer[96 + 3], 128);
  EXPECT_EQ(buffer[96 + 15 * 4 + 3], 0);  // cleared where nothing is drawn

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
  EXPECT_EQ(std::pair(alone.width, alone.height), std::pair(12, 6));
  EXPECT_THAT(at(alone, 0, 0), Near(kBlue));

  // 5. A side beyond the pixel limit is refused, never cropped to it.
  int width = -1, height = -1;
  auto wide = box({0, 0, ViewRenderer::kMaxPixelDimension / 2.0, 1}, UIColor(0, 0, 1));
  EXPECT_TRUE(ViewRenderer::pixelSize(*wide, 2, width, height));
  EXPECT_EQ(width, ViewRenderer::kMaxPixelDimension);
  EXPECT_FALSE(ViewRenderer::pixelSize(*wide, 3, width, height));
  EXPECT_EQ(width, 0);
  EXPECT_FALSE(renderer.renderRGBA(*wide, buffer.data(), ViewRenderer::kMaxPixelDimension, 1,
                                   buffer.size(), AlphaMode::straight, &error, 3));
  EXPECT_EQ(error, "the view is larger than 16384 pixels on a side");
  EXPECT_FALSE(ViewRenderer::writePNG(*wide, "/nonexistent/wide.png", &error, 3));
  EXPECT_EQ(error, "the view is larger than 16384 pixels on a side");

  // 6. Straight alpha rounds as (c × 255 + a / 2) / a for every colour and alpha: in rows
  //    of one alpha, and converted in place in rows where it changes at every pixel (the
  //    last column left as it was); with the widest vectors and with the baseline ones.
  for (bool wide : {true, false}) {
    std::vector<std::uint8_t> words(256 * 256 * 4), rgba(words.size()), mixed(words.size());
    for (std::uint32_t a = 0; a < 256; ++a) {
      for (std::uint32_t c = 0; c < 256; ++c) {
        const std::uint32_t word = a << 24 | c << 16 | (255 - c) << 8 | c / 2;
        std::memcpy(&words[(a * 256 + c) * 4], &word, 4);
        std::memcpy(&mixed[(c * 256 + a) * 4], &word, 4);
      }
    }
    copyPixels(words.data(), 256 * 4, rgba.data(), 256 * 4, {0, 0, 256, 256}, PixelFormat::rgba,
               wide);
    copyPixels(mixed.data(), 256 * 4, mixed.data(), 256 * 4, {0, 0, 255, 256}, PixelFormat::rgba,
               wide);
    auto straightened = [](std::uint32_t c, std::uint32_t a) {
      return a == 0 || a == 255 ? c : std::min((c * 255 + a / 2) / a, 255u);
    };
    int wrong = 0, wrongInPlace = 0;
    for (std::uint32_t a = 0; a < 256; ++a) {
      for (std::uint32_t c = 0; c < 256; ++c) {
        const std::array<std::uint32_t, 4> want = {straightened(c, a), straightened(255 - c, a),
                                                   straightened(c / 2, a), a};
        const std::uint8_t* rowWise = &rgba[(a * 256 + c) * 4];
        const std::uint8_t* inPlace = &mixed[(c * 256 + a) * 4];
        for (int i = 0; i < 4; ++i) {
          wrong += rowWise[i] != want[i];
          if (a < 255) wrongInPlace += inPlace[i] != want[i];
        }
        if (a == 255) wrongInPlace += std::memcmp(inPlace, &words[(a * 256 + c) * 4], 4) != 0;
      }
    }
    EXPECT_EQ(wrong, 0) << "wide vectors " << wide;
    EXPECT_EQ(wrongInPlace, 0) << "wide vectors " << wide;
  }
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

  // 1. Below the blur the black-white edge at x = 60 points stays sharp (how the blur looks
  //    above it, and its tint, are in the light popup's golden image; that it blurs only
  //    inside its view, in steps 5 and 6).
  int y = 20;  // 10 points down, inside the blur
  expectNear(image, {{118, 100, {0, 0, 0, 255}}, {122, 100, kWhite}});

  // 2. Nothing changed beneath: the next frame reuses the blurred layer, to the pixel.
  const auto& layers = renderer.backdropBlur();
  EXPECT_EQ(layers.layersMade(), 1u);
  EXPECT_EQ(renderer.render(*window).rgba, image.rgba);
  EXPECT_EQ(std::pair(layers.layersMade(), layers.layerCount()), std::pair(1ul, 1ul));

  // 3. A rounded view is drawn through the other path: the same blur inside, the sharp
  //    content beneath in its corners.
  blur->layer().setCornerRadius(8);
  auto rounded = renderer.render(*window);
  EXPECT_EQ(layers.layersMade(), 1u);
  for (int row : {y, 30}) {
    for (int x = 62; x < 178; ++x) {
      ASSERT_THAT(at(rounded, x, row), Near(at(image, x, row))) << x << ", " << row;
    }
  }
  EXPECT_THAT(at(rounded, 61, 1), Near(Pixel{0, 0, 0, 255}));
  blur->layer().setCornerRadius(0);

  // 4. New content beneath makes the layer again: the edge under it is gone.
  window->subviews()[0]->setBackgroundColor(UIColor(1, 1, 1));
  auto cleared = renderer.render(*window);
  EXPECT_EQ(layers.layersMade(), 2u);
  EXPECT_THAT(at(cleared, 104, y), Near(at(cleared, 136, y)));

  // 5. A clip around the view bounds the blur; a view no longer drawn drops its layer.
  window->subviews()[0]->setBackgroundColor(UIColor(0, 0, 0));
  auto clip = box({0, 0, 70, 60}, UIColor(1, 1, 1, 0));
  clip->layer().setMasksToBounds(true);
  blur->removeFromSuperview();
  clip->addSubview(blur);
  window->addSubview(clip);
  auto clipped = renderer.render(*window);
  EXPECT_LT(at(clipped, 136, y)[0], 250);  // blurred inside the clip
  expectNear(clipped, {{142, y, kWhite}, {178, y, kWhite}});
  clip->removeFromSuperview();
  renderer.render(*window);
  EXPECT_EQ(layers.layerCount(), 0u);

  // 6. A blur over the whole window still blurs all drawn before it (the edge beneath),
  //    and what comes after it, a subview's border among them, draws on top.
  auto frame = box({0, 0, 120, 60}, UIColor(0, 0, 0, 0));
  frame->layer().setBorderWidth(2);
  frame->layer().setBorderColor(UIColor(1, 0, 0));
  blur->setFrame(frame->bounds());
  frame->addSubview(blur);
  window->addSubview(frame);
  window->addSubview(box({100, 40, 10, 10}, UIColor(0, 1, 0)));
  auto covered = renderer.render(*window);
  expectNear(covered, {{210, 90, {0, 255, 0, 255}}, {1, 60, kRed}});
  EXPECT_LT(at(covered, 40, 60)[0] + 60, at(covered, 200, 60)[0]);
  EXPECT_GT(at(covered, 40, 60)[0], 40);

  // 7. Drawn into the caller's memory as it was: over a transparent window, whether the
  //    blur covers all (no clear needed) or is rounded (its corners cleared), every byte is
  //    written, so memory holding anything at all comes out the same.
  window->setBackgroundColor(std::nullopt);
  const std::size_t stride = std::size_t(covered.width) * 4;
  for (double radius : {0.0, 10.0}) {
    blur->layer().setCornerRadius(radius);
    std::vector<std::uint8_t> zeros(stride * covered.height, 0), junk(zeros.size(), 0xAB);
    for (auto* memory : {&zeros, &junk}) {
      ASSERT_TRUE(renderer.renderRGBA(*window, memory->data(), covered.width, covered.height,
                                      stride, AlphaMode::straight));
    }
    EXPECT_TRUE(zeros == junk) << "corner radius " << radius;
  }
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

  EXPECT_THAT(at(renderer.render(*window), 20, 20), Near(kWhite));
  env.advance(0.15);
  EXPECT_THAT(at(renderer.render(*window), 20, 20), Near(Pixel{128, 128, 255, 255}));
  env.advance(0.15);
  EXPECT_THAT(at(renderer.render(*window), 20, 20), Near(kBlue));

  // Cover-vertical slides up from the bottom: half way, the top half is still uncovered.
  popup->dismissViewController(false);
  env.runUntilIdle();
  auto sheet = UIViewController::create("sheet");
  sheet->view()->setBackgroundColor(UIColor(1, 0, 0));
  game->presentViewController(sheet, true);
  env.advance(0.15);
  expectNear(renderer.render(*window), {{20, 10, kWhite}, {20, 30, kRed}});
}

namespace {

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

TEST(RetainedRender, RedrawsOnlyWhatChangedAndMatchesAFullRender) {
  TestEnvironment env;
  auto window = cardScene(UIUserInterfaceStyle::light);
  auto card = window->subviews()[0];
  auto icon = std::static_pointer_cast<UIImageView>(card->subviews()[0]);
  auto title = std::static_pointer_cast<UILabel>(card->subviews()[1]);
  auto body = card->subviews()[2];
  auto pill = card->subviews()[3];
  auto close = card->subviews()[4];
  auto backdrop = box({150, 100, 70, 50}, UIColor(0, 0.5, 0));
  window->insertSubviewAtIndex(backdrop, 0);  // beneath the card and the blur
  auto blur = UIVisualEffectView::create(
      UIBlurEffect::effectWithStyle(UIBlurEffectStyle::systemUltraThinMaterialLight));
  blur->setFrame({160, 110, 50, 30});
  blur->addSubview(box({4, 4, 8, 8}, UIColor(0, 0, 1)));  // drawn even when the blur is not
  window->addSubview(blur);
  RetainedRenderer renderer;
  const double scale = 2.625;  // fractional: edges fall inside pixels
  int width = 0, height = 0;
  ASSERT_TRUE(ViewRenderer::pixelSize(*window, scale, width, height));
  ASSERT_EQ(width, 578);
  const std::size_t stride = std::size_t(width) * 4 + 16;
  std::vector<std::uint8_t> texture(stride * height);
  ViewRenderer full;
  std::vector<std::uint8_t> expected(std::size_t(width) * height * 4);
  auto pixelsOf = [&](const CGRect& points) {  // where a rectangle starts, in pixels
    return PixelRect{int(std::floor(points.minX() * scale)), int(std::floor(points.minY() * scale)),
                     1, 1};
  };
  // Publishes and copies, then checks the texture against a full render of the tree.
  auto frame = [&](PixelFormat format = PixelFormat::rgbaPremultiplied) {
    PixelRect published = renderer.publish(*window, scale);
    PixelRect damaged{-1, -1, -1, -1};
    EXPECT_EQ(renderer.copyChanges(texture.data(), stride, format, damaged),
              RetainedRenderer::CopyResult::copied);
    EXPECT_TRUE(published.isEmpty() || damaged.contains(published));
    std::string error;
    EXPECT_TRUE(full.renderRGBA(
        *window, expected.data(), width, height, std::size_t(width) * 4,
        format == PixelFormat::rgba ? AlphaMode::straight : AlphaMode::premultiplied, &error,
        scale))
        << error;
    int wrong = 0;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const std::uint8_t* got = &texture[std::size_t(y) * stride + std::size_t(x) * 4];
        const std::uint8_t* want = &expected[(std::size_t(y) * width + x) * 4];
        bool swap = format == PixelFormat::bgraPremultiplied;
        // Under a smaller clip cairo may round an antialiased edge one level apart.
        auto off = [](int a, int b) { return std::abs(a - b) > 1; };
        wrong += off(got[0], want[swap ? 2 : 0]) || off(got[1], want[1]) ||
                 off(got[2], want[swap ? 0 : 2]) || off(got[3], want[3]);
      }
    }
    EXPECT_EQ(wrong, 0) << "pixels that differ from a full render";
    return damaged;
  };

  // 1. The first copy into a buffer, or in another format, is the whole frame (an unchanged
  //    tree writing no byte: CApiTest's WindowRenderWritesWhatChangedFromAnyThread).
  EXPECT_EQ(frame(), (PixelRect{0, 0, width, height}));
  EXPECT_EQ(frame(PixelFormat::bgraPremultiplied), (PixelRect{0, 0, width, height}));
  EXPECT_EQ(frame(), (PixelRect{0, 0, width, height}));  // the format changed back

  // 2. A change repaints its own pixels only, whatever property it is (some, like the
  //    layer's, have no hook into the view).
  title->setText("Island Builder 2");
  PixelRect titleDamage = frame();
  EXPECT_FALSE(titleDamage.isEmpty());
  const PixelRect titleTopLeft = pixelsOf(title->convertRect(title->bounds(), nullptr));
  EXPECT_GE(titleDamage.x, titleTopLeft.x - 1);
  EXPECT_GE(titleDamage.y, titleTopLeft.y - 1);
  EXPECT_LT(titleDamage.width * titleDamage.height, width * height / 8);
  icon->layer().setBorderWidth(2);
  EXPECT_FALSE(frame().isEmpty());
  card->layer().setBorderColor(UIColor(1, 0, 1));
  EXPECT_FALSE(frame().isEmpty());
  title->setTextColor(UIColor(0, 0, 1));
  EXPECT_EQ(frame().width, titleDamage.width);
  pill->setHidden(true);
  frame();
  close->setFrame({130, 80, 60, 28});
  frame();
  card->bringSubviewToFront(icon.get());  // order among siblings
  frame();
  icon->setImage(UIImage::generated({40, 40}, UIColor(0, 1, 0), UIColor(0, 1, 0)));
  frame();
  card->setAlpha(0.5);  // a group: every view inside it changes
  frame();
  body->removeFromSuperview();
  frame();
  window->setAppearance(UIUserInterfaceStyle::dark);  // the adaptive colours
  EXPECT_EQ(frame(), (PixelRect{0, 0, width, height}));

  // 3. A change beneath a blur repaints all the blur reads and paints, which the redraw
  //    then reads fresh; one above it repaints its own pixels.
  backdrop->setBackgroundColor(UIColor(1, 1, 0));
  PixelRect under = frame();
  EXPECT_LT(under.x, pixelsOf(backdrop->frame()).x - 2);
  const BackdropBlur& layers = renderer.backdropBlur();
  const auto made = layers.layersMade();
  auto above = box({0, 0, 4, 4}, UIColor(1, 0, 0));
  window->addSubview(above);
  EXPECT_LE(frame().width, 14);
  //    The blurred layer outlives frames that do not repaint it (drawn outside the
  //    damage for its subview, or skipped), and one over it (all it reads repainted,
  //    nothing beneath changed) reuses it, to the pixel.
  blur->subviews()[0]->removeFromSuperview();
  frame();
  above->setBackgroundColor(UIColor(0, 1, 0));
  EXPECT_LE(frame().width, 14);
  auto badge = box({170, 115, 6, 6}, UIColor(1, 0, 0));
  window->addSubview(badge);
  EXPECT_LE(frame().width, 20);
  badge->removeFromSuperview();
  EXPECT_LE(frame().width, 20);
  EXPECT_EQ(layers.layersMade(), made);
  EXPECT_EQ(layers.layerCount(), 1u);
  above->setBackgroundColor(UIColor(0, 0, 0));
  EXPECT_EQ(frame(PixelFormat::rgba), (PixelRect{0, 0, width, height}));  // straight alpha

  // 4. A transition moves and fades the presented view frame by frame.
  auto root = UIViewController::create("root");
  window->setRootViewController(root);
  auto popup = UIViewController::create("popup");
  popup->view()->setBackgroundColor(UIColor(0, 0, 1, 0.5));
  popup->setModalPresentationStyle(UIModalPresentationStyle::overFullScreen);
  root->presentViewController(popup, true);
  for (int step = 0; step < 4; ++step) {
    env.advance(0.1);
    frame();
  }
  EXPECT_TRUE(renderer.publish(*window, scale).isEmpty());

  // 5. A whole copy writes every row and leaves nothing for the next copy of changes.
  std::fill(texture.begin(), texture.end(), std::uint8_t{0x5A});
  EXPECT_EQ(renderer.copyAll(texture.data(), stride, PixelFormat::rgbaPremultiplied),
            RetainedRenderer::CopyResult::copied);
  EXPECT_TRUE(frame().isEmpty());
}

// Counts the times it is drawn, at full size or small for a blur's backdrop.
class CountingView : public UIView {
 public:
  using UIView::UIView;
  void drawRect(const DrawContext&, const CGRect&) const override { ++draws; }
  mutable int draws = 0;
};

TEST(Render, KeptCardsBackdropsAndShrunkPicturesRedrawWhatChanged) {
  TestEnvironment env;
  auto window = cardScene(UIUserInterfaceStyle::light);
  auto card = window->subviews()[0];
  auto title = std::static_pointer_cast<UILabel>(card->subviews()[1]);
  auto beneath = std::make_shared<CountingView>(CGRect{0, 0, 220, 150});
  window->insertSubviewAtIndex(beneath, 0);
  // 320 pixels drawn into 80: shrunk, in part beneath a blur over the card's corner.
  auto big = [] {
    return UIImage::generated({160, 160}, UIColor::systemRedColor(), UIColor::systemBlueColor(),
                              "Big", 2);
  };
  auto picture = UIImageView::create(big());
  picture->setFrame({110, 100, 40, 40});
  window->addSubview(picture);  // over the card
  auto blur = UIVisualEffectView::create(
      UIBlurEffect::effectWithStyle(UIBlurEffectStyle::systemUltraThinMaterialLight));
  blur->setFrame({140, 90, 70, 50});
  window->addSubview(blur);
  ViewRenderer kept;
  // Pixels off by more than one level from what a renderer that keeps nothing draws (with
  // a picture that has kept nothing either).
  auto offFromFresh = [&](const ViewRenderer::Image& image) {
    ViewRenderer fresh;
    const auto kept = picture->image();
    picture->setImage(big());
    const auto want = fresh.render(*window);
    picture->setImage(kept);
    int off = 0;
    for (std::size_t i = 0; i < want.rgba.size(); ++i)
      off += std::abs(want.rgba[i] - image.rgba[i]) > 1;
    return off;
  };
  // Every frame must match the fresh one.
  auto drawsOfAFrame = [&] {
    const int before = beneath->draws;
    EXPECT_EQ(offFromFresh(kept.render(*window)), 0);
    return beneath->draws - before - 2;  // less the fresh render's, beneath and backdrop
  };

  // 1. The card is drawn, kept, then painted from its layer, to the same pixels; what lies
  //    beneath the blur is drawn small once.
  EXPECT_EQ(drawsOfAFrame(), 2);
  for (int frame = 0; frame < 2; ++frame) EXPECT_EQ(drawsOfAFrame(), 1) << frame;
  EXPECT_EQ(std::pair(kept.layerCache().layersMade(), kept.layerCache().layerCount()),
            std::pair(1ul, 1ul));

  // 2. New text on the card, or the card moved by a fraction of a pixel: drawn afresh,
  //    kept again once it holds still.
  title->setText("Island Builder 2");
  drawsOfAFrame();
  card->setFrame({10.3, 10, 200, 130});
  for (int frame = 0; frame < 3; ++frame) drawsOfAFrame();
  EXPECT_EQ(kept.layerCache().layersMade(), 2u);

  // 3. The shrunk picture beneath the blur moves by part of a pixel: its pixels and the
  //    backdrop are made again.
  picture->setFrame({110, 100.375, 40, 40});
  EXPECT_EQ(drawsOfAFrame(), 2);

  // 4. A hidden card leaves no layer behind.
  card->setHidden(true);
  drawsOfAFrame();
  EXPECT_EQ(kept.layerCache().layerCount(), 0u);
}

TEST(Golden, CardInLightAndDark) {
  TestEnvironment env;
  const std::string golden = TILO_SOURCE_DIR "/tests/ui/golden/";
  tilo::test::expectGoldenImage(*cardScene(UIUserInterfaceStyle::light), golden + "card-light.png");
  tilo::test::expectGoldenImage(*cardScene(UIUserInterfaceStyle::dark), golden + "card-dark.png");
}
