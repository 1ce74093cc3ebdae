#include "support/GoldenImage.h"

#include <gtest/gtest.h>

#include <cairo.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "platform/Bytes.h"
#include "platform/ui/UIImage.h"
#include "platform/ui/ViewRenderer.h"

namespace tilo::test {

namespace {

bool updating() {
  const char* update = std::getenv("TILO_UPDATE_GOLDEN");
  return update && std::string(update) == "1";
}

std::shared_ptr<platform::UIImage> readPng(const std::filesystem::path& png) {
  std::ifstream in(png, std::ios::binary);
  EXPECT_TRUE(in) << "missing " << png << " (TILO_UPDATE_GOLDEN=1 writes it)";
  if (!in) return nullptr;
  platform::Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string error;
  auto image = platform::UIImage::imageWithData(data, 1, &error);
  EXPECT_TRUE(image) << png << ": " << error;
  return image;
}

// Straight RGBA of a decoded picture's pixel.
void straightPixel(const platform::UIImage& image, int x, int y, int out[4]) {
  cairo_surface_t* surface = image.surface();
  const unsigned char* pixels = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  std::uint32_t p = reinterpret_cast<const std::uint32_t*>(pixels + y * stride)[x];
  const int a = static_cast<int>(p >> 24);
  auto straight = [a](std::uint32_t c) { return a ? static_cast<int>((c * 255 + a / 2) / a) : 0; };
  out[0] = straight((p >> 16) & 0xFF);
  out[1] = straight((p >> 8) & 0xFF);
  out[2] = straight(p & 0xFF);
  out[3] = a;
}

// `actual(x, y, rgba)` gives the straight RGBA of the picture under test.
template <class Actual>
void compare(const platform::UIImage& golden, int width, int height, Actual actual,
             const std::filesystem::path& png) {
  ASSERT_EQ(golden.pixelWidth(), width) << png;
  ASSERT_EQ(golden.pixelHeight(), height) << png;
  cairo_surface_flush(golden.surface());
  int worst = 0;
  std::size_t off = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      int g[4], r[4];
      straightPixel(golden, x, y, g);
      actual(x, y, r);
      int diff = 0;
      for (int i = 0; i < 4; ++i) diff = std::max(diff, std::abs(g[i] - r[i]));
      // Colour channels of (nearly) transparent pixels carry no information.
      if (g[3] < 8 && r[3] < 8) diff = std::abs(g[3] - r[3]);
      worst = std::max(worst, diff);
      off += diff > 4;
    }
  }
  EXPECT_LE(worst, 24) << png;
  EXPECT_LE(off, static_cast<std::size_t>(width) * height / 200) << png;
}

}  // namespace

void expectGoldenImage(platform::UIView& view, const std::filesystem::path& png) {
  using platform::ViewRenderer;
  ViewRenderer renderer;
  auto actual = renderer.render(view, platform::AlphaMode::straight);
  if (updating()) {
    std::string error;
    ASSERT_TRUE(ViewRenderer::writePNG(view, png.string(), &error)) << error;
    return;
  }
  auto golden = readPng(png);
  if (!golden) return;
  compare(
      *golden, actual.width, actual.height,
      [&](int x, int y, int out[4]) {
        const std::uint8_t* r = &actual.rgba[(std::size_t(y) * actual.width + x) * 4];
        for (int i = 0; i < 4; ++i) out[i] = r[i];
      },
      png);
}

void expectGoldenFile(const std::filesystem::path& actualPng, const std::filesystem::path& png) {
  if (updating()) {
    std::error_code error;
    std::filesystem::copy_file(actualPng, png, std::filesystem::copy_options::overwrite_existing,
                               error);
    ASSERT_FALSE(error) << png << ": " << error.message();
    return;
  }
  auto actual = readPng(actualPng);
  auto golden = readPng(png);
  if (!actual || !golden) return;
  cairo_surface_flush(actual->surface());
  cairo_surface_flush(golden->surface());
  // Most runs draw the very same pixels: no need to weigh each one.
  const auto bytes = [](const platform::UIImage& image) {
    return std::string_view(
        reinterpret_cast<const char*>(cairo_image_surface_get_data(image.surface())),
        static_cast<std::size_t>(cairo_image_surface_get_stride(image.surface())) *
            image.pixelHeight());
  };
  if (actual->pixelWidth() == golden->pixelWidth() &&
      actual->pixelHeight() == golden->pixelHeight() && bytes(*actual) == bytes(*golden)) {
    return;
  }
  compare(
      *golden, actual->pixelWidth(), actual->pixelHeight(),
      [&](int x, int y, int out[4]) { straightPixel(*actual, x, y, out); }, png);
}

}  // namespace tilo::test
