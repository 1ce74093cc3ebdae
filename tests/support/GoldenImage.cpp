#include "support/GoldenImage.h"

#include <gtest/gtest.h>

#include <cairo.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/Bytes.h"
#include "platform/ui/UIImage.h"
#include "platform/ui/ViewRenderer.h"

namespace tilo::test {

void expectGoldenImage(platform::UIView& view, const std::filesystem::path& png) {
  using platform::ViewRenderer;
  ViewRenderer renderer;
  auto actual = renderer.render(view, platform::AlphaMode::straight);
  const char* update = std::getenv("TILO_UPDATE_GOLDEN");
  if (update && std::string(update) == "1") {
    std::string error;
    ASSERT_TRUE(ViewRenderer::writePNG(view, png.string(), &error)) << error;
    return;
  }
  std::ifstream in(png, std::ios::binary);
  ASSERT_TRUE(in) << "missing " << png << " (TILO_UPDATE_GOLDEN=1 writes it)";
  platform::Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string error;
  auto golden = platform::UIImage::imageWithData(data, 1, &error);
  ASSERT_TRUE(golden) << error;
  ASSERT_EQ(golden->pixelWidth(), actual.width) << png;
  ASSERT_EQ(golden->pixelHeight(), actual.height) << png;
  cairo_surface_t* surface = golden->surface();
  const unsigned char* pixels = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  int worst = 0;
  std::size_t off = 0;
  for (int y = 0; y < actual.height; ++y) {
    for (int x = 0; x < actual.width; ++x) {
      std::uint32_t p = reinterpret_cast<const std::uint32_t*>(pixels + y * stride)[x];
      const int a = static_cast<int>(p >> 24);
      auto straight = [a](std::uint32_t c) {
        return a ? static_cast<int>((c * 255 + a / 2) / a) : 0;
      };
      const int g[4] = {straight((p >> 16) & 0xFF), straight((p >> 8) & 0xFF), straight(p & 0xFF),
                        a};
      const std::uint8_t* r = &actual.rgba[(std::size_t(y) * actual.width + x) * 4];
      int diff = 0;
      for (int i = 0; i < 4; ++i) diff = std::max(diff, std::abs(g[i] - static_cast<int>(r[i])));
      // Colour channels of (nearly) transparent pixels carry no information.
      if (a < 8 && r[3] < 8) diff = std::abs(a - static_cast<int>(r[3]));
      worst = std::max(worst, diff);
      off += diff > 4;
    }
  }
  EXPECT_LE(worst, 24) << png;
  EXPECT_LE(off, static_cast<std::size_t>(actual.width) * actual.height / 200) << png;
}

}  // namespace tilo::test
