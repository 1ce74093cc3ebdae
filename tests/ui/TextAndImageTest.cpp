// Text layout from the pinned Inter fonts (their metrics are in every golden image), and image
// decoding of hostile bytes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

// jpeglib.h needs FILE and size_t first.
#include <jpeglib.h>
#include <cstdio>
#include <cstdlib>

#include <string>
#include <vector>

#include "platform/NotificationCenter.h"
#include "platform/ui/FontSystem.h"
#include "platform/ui/ImageDecoder.h"
#include "platform/ui/ImageRenditionCache.h"
#include "platform/ui/TextLayout.h"
#include "platform/ui/UIColor.h"
#include "platform/ui/UIFont.h"
#include "platform/ui/UIImage.h"

using namespace tilo::platform;
using ::testing::HasSubstr;

namespace {

TextLayout::Parameters text(std::string s, double width = 0, int lines = 1,
                            NSLineBreakMode mode = NSLineBreakMode::byTruncatingTail) {
  return {.text = std::move(s),
          .font = UIFont::systemFont(17),
          .width = width,
          .numberOfLines = lines,
          .lineBreakMode = mode};
}

Bytes jpegBytes(int width, int height, int quality = 90) {
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  std::vector<unsigned char> row(std::size_t(width) * 3);
  while (info.next_scanline < info.image_height) {
    for (int x = 0; x < width; ++x) {  // red on the left half, blue on the right, noisy
      bool left = x < width / 2;
      int noise = static_cast<int>((x * 7919u + info.next_scanline * 104729u) % 23);
      row[3 * x] = static_cast<unsigned char>(left ? 220 + noise : 20 + noise);
      row[3 * x + 1] = static_cast<unsigned char>(30 + noise);
      row[3 * x + 2] = static_cast<unsigned char>(left ? 20 + noise : 220 + noise);
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  Bytes out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

std::uint32_t crc32(const std::uint8_t* data, std::size_t size) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

// Premultiplied ARGB of one pixel of a decoded image.
std::uint32_t pixel(const UIImage& image, int x, int y) {
  cairo_surface_t* s = image.surface();
  const unsigned char* data = cairo_image_surface_get_data(s);
  return reinterpret_cast<const std::uint32_t*>(data + y * cairo_image_surface_get_stride(s))[x];
}

}  // namespace

// Wrapping to a number of lines is in the popup's and the inspector's golden images.
TEST(TextLayout, WrapsTruncatesAndLimitsLines) {
  const std::string sentence = "The quick brown fox jumps over the lazy dog again and again";
  double natural = TextLayout::make(text(sentence))->size().width;
  double line = FontSystem::shared().metrics(UIFont::systemFont(17)).lineHeight();

  // 1. One line in too little width: ellipsized to fit, marked truncated.
  auto single = TextLayout::make(text(sentence, 120));
  EXPECT_EQ(single->lineCount(), 1);
  EXPECT_TRUE(single->isTruncated());
  EXPECT_LE(single->size().width, 120.01);
  EXPECT_FALSE(TextLayout::make(text(sentence, natural + 1))->isTruncated());

  // 2. Clipping instead of truncating keeps the full width (and is still "cut").
  auto clipped = TextLayout::make(text(sentence, 120, 1, NSLineBreakMode::byClipping));
  EXPECT_NEAR(clipped->size().width, natural, 0.01);
  EXPECT_TRUE(clipped->isTruncated());

  // 3. Word wrapping without truncation also stops at two lines, clipping the rest.
  auto wrapped = TextLayout::make(text(sentence, 120, 2, NSLineBreakMode::byWordWrapping));
  EXPECT_EQ(wrapped->lineCount(), 2);
  EXPECT_TRUE(wrapped->isTruncated());

  // 4. A height limit drops the lines that do not fit, even across paragraphs.
  auto limited = text("one\ntwo\nthree\nfour", 200, 0);
  limited.height = 2.5 * line;
  EXPECT_EQ(TextLayout::make(limited)->lineCount(), 2);
  // Less room than one line still shows one line, whole (the drawing clips it).
  limited.height = 0.4 * line;
  auto shallow = TextLayout::make(limited);
  EXPECT_EQ(shallow->lineCount(), 1);
  EXPECT_NEAR(shallow->size().width, TextLayout::make(text("one", 200, 0))->size().width, 0.01);

  // 5. A single-line text shows its paragraphs joined on one line.
  auto joined = TextLayout::make(text("first\nsecond"));
  EXPECT_EQ(joined->lineCount(), 1);
  EXPECT_NEAR(joined->size().width, TextLayout::make(text("first second"))->size().width, 0.01);

  // 6. An empty text has no size; a lone NUL or invalid UTF-8 shows replacement marks.
  EXPECT_EQ(TextLayout::make(text(""))->size(), (CGSize{0, 0}));
  EXPECT_EQ(TextLayout::sanitized(std::string("a\0b\xC3", 4)),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD");
  EXPECT_EQ(TextLayout::sanitized("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD")
      << "an encoded surrogate is not UTF-8";
  EXPECT_EQ(TextLayout::sanitized("한국어 ✓"), "한국어 ✓");
}

TEST(UIImage, DecodesPngAndJpegAndRefusesBadBytes) {
  // 1. A PNG round trip keeps the pixels; the scale turns pixels into points.
  auto generated = UIImage::generated({40, 20}, UIColor(1, 0, 0), UIColor(1, 0, 0), "", 1);
  Bytes png = generated->pngData();
  std::string error;
  auto decoded = UIImage::imageWithData(png, 2, &error);
  ASSERT_TRUE(decoded) << error;
  EXPECT_EQ(decoded->pixelWidth(), 40);
  EXPECT_EQ(decoded->size(), (CGSize{20, 10}));
  EXPECT_EQ(pixel(*decoded, 5, 5), 0xFFFF0000u);

  // 2. A JPEG decodes to opaque pixels of roughly the encoded colours.
  auto jpeg = UIImage::imageWithData(jpegBytes(64, 32), 1, &error);
  ASSERT_TRUE(jpeg) << error;
  EXPECT_EQ(jpeg->size(), (CGSize{64, 32}));
  std::uint32_t left = pixel(*jpeg, 8, 16), right = pixel(*jpeg, 56, 16);
  EXPECT_EQ(left >> 24, 0xFFu);
  EXPECT_GT((left >> 16) & 0xFF, 200u);
  EXPECT_GT(right & 0xFF, 200u);

  // 3. Each kind of bad input has its own clear error and no image (bytes of another format:
  //    RenderToolTest's fake.png).
  auto refused = [&](const Bytes& bytes) {
    error.clear();
    EXPECT_FALSE(UIImage::imageWithData(bytes, 1, &error));
    return error;
  };
  EXPECT_EQ(refused({}), "empty image data");
  EXPECT_THAT(refused(Bytes(png.begin(), png.begin() + png.size() / 2)),
              HasSubstr("PNG data does not decode"));
  Bytes large = jpegBytes(256, 256);
  EXPECT_EQ(refused(Bytes(large.begin(), large.begin() + large.size() * 2 / 3)),
            "JPEG data does not decode: the data ends early")
      << "a JPEG cut in its picture data must not come back half grey";
  EXPECT_THAT(refused({0xFF, 0xD8, 0xFF, 0xE0, 0x00}), HasSubstr("JPEG data does not decode"));

  // 4. A header that claims 20000 x 20000 pixels is refused before any allocation, by
  //    either kind of image.
  Bytes huge = png;
  huge[16] = 0x00, huge[17] = 0x00, huge[18] = 0x4E, huge[19] = 0x20;  // IHDR width
  huge[20] = 0x00, huge[21] = 0x00, huge[22] = 0x4E, huge[23] = 0x20;  // IHDR height
  std::uint32_t crc = crc32(&huge[12], 17);                            // chunk type and data
  for (int i = 0; i < 4; ++i) huge[29 + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
  EXPECT_THAT(refused(huge), HasSubstr("20000 x 20000 pixels is empty or larger than"));
  EXPECT_FALSE(UIImage::imageDecodedWhenDrawn(huge, 1, &error));
  EXPECT_THAT(error, HasSubstr("20000 x 20000 pixels"));
  EXPECT_FALSE(UIImage::imageDecodedWhenDrawn(Bytes(png.begin(), png.end() - 20), 1, &error))
      << "bytes that do not decode fail at the load, not when first drawn";
  EXPECT_THAT(error, HasSubstr("PNG data does not decode"));

  // 5. One symbol only (xmark, drawn in its button's tint in the card's dark golden image).
  EXPECT_FALSE(UIImage::systemImageNamed("star"));
}

// A creative is held at the size it is drawn: a 1200-pixel file drawn in 100 pixels
// holds 100² of pixels, averaged rather than picked; drawn larger later it is decoded
// again, sharp; a memory warning and the background let the pixels go.
TEST(UIImage, DecodedWhenDrawnHoldsTheDrawnSizeAveragedAndSharp) {
  // Vertical stripes, 6 pixels black then 6 white: one 100² pixel covers a whole period.
  auto stripes = std::shared_ptr<cairo_surface_t>(
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1200, 1200), cairo_surface_destroy);
  cairo_t* paint = cairo_create(stripes.get());
  cairo_set_source_rgb(paint, 1, 1, 1);
  cairo_paint(paint);
  cairo_set_source_rgb(paint, 0, 0, 0);
  for (int x = 0; x < 1200; x += 12) cairo_rectangle(paint, x, 0, 6, 1200);
  cairo_fill(paint);
  cairo_destroy(paint);
  std::string error;
  auto image = UIImage::imageDecodedWhenDrawn(UIImage(stripes, 1).pngData(), 2, &error);
  ASSERT_TRUE(image) << error;
  EXPECT_EQ(image->pixelWidth(), 1200);
  EXPECT_EQ(image->size(), (CGSize{600, 600}));
  EXPECT_EQ(image->surface(), nullptr);

  auto& cache = ImageRenditionCache::shared();
  cache.clear();
  // Draws the image over `side` x `side` device pixels; the red of pixel (x, 0).
  auto drawn = [&](int side, std::vector<int> xs) {
    auto target = std::shared_ptr<cairo_surface_t>(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, side, side), cairo_surface_destroy);
    cairo_t* cr = cairo_create(target.get());
    cairo_scale(cr, 2, 2);  // points to pixels, as a window at scale 2
    image->draw(cr, {0, 0, side / 2.0, side / 2.0}, {0, 0, 0, 1});
    cairo_destroy(cr);
    cairo_surface_flush(target.get());
    const auto* row =
        reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(target.get()));
    std::vector<int> reds;
    for (int x : xs) reds.push_back(static_cast<int>((row[x] >> 16) & 0xFF));
    return reds;
  };
  for (int red : drawn(100, {0, 37, 99})) EXPECT_NEAR(red, 128, 6) << "a mean, not a pick";
  EXPECT_EQ(std::pair(cache.count(), cache.bytes()), std::pair(1ul, 100ul * 100 * 4));

  // Larger: decoded again at 600², where a stripe is 3 pixels wide and shows pure.
  EXPECT_EQ(drawn(600, {1, 4, 7, 10}), (std::vector<int>{0, 255, 0, 255}));
  EXPECT_EQ(cache.bytes(), 600u * 600 * 4);
  drawn(100, {0});  // smaller again: drawn from the larger
  EXPECT_EQ(cache.bytes(), 600u * 600 * 4);
  // A copy for a host holds the file's size only during the call.
  std::vector<std::uint8_t> copy(1200u * 1200 * 4);
  ASSERT_TRUE(image->copyPixels(copy.data(), 1200 * 4, PixelFormat::rgba));
  EXPECT_EQ(copy[6 * 4], 255);
  EXPECT_EQ(cache.bytes(), 600u * 600 * 4);

  // Released with the other caches (on a memory warning or entering the background alike:
  // CApiTest's WindowRendersTapsAndTracksTheLifecycle); the next draw decodes what it needs.
  NotificationCenter::defaultCenter().post(kDidReceiveMemoryWarningNotification);
  EXPECT_EQ(std::pair(cache.count(), cache.bytes()), std::pair(0ul, 0ul));
  drawn(100, {0});
  EXPECT_EQ(std::pair(cache.count(), cache.bytes()), std::pair(1ul, 100ul * 100 * 4));

  // A JPEG is decoded from its 1/8 scale and averaged to the size asked.
  std::shared_ptr<cairo_surface_t> small =
      ImageDecoder::decode(jpegBytes(1200, 600), 100, 50, error);
  ASSERT_TRUE(small) << error;
  EXPECT_EQ(cairo_image_surface_get_width(small.get()), 100);
  EXPECT_EQ(cairo_image_surface_get_height(small.get()), 50);
  const auto* row =
      reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(small.get()));
  EXPECT_GT((row[10] >> 16) & 0xFF, 200u);  // red on the left
  EXPECT_GT(row[90] & 0xFF, 200u);          // blue on the right
}

// The adaptive colours' values are in the card's and the inspector's light and dark golden
// images.
TEST(UIColor, ResolvesAdaptiveColoursAndParsesHex) {
  EXPECT_EQ(
      UIColor::systemGray3Color().withAlphaComponent(0.3).hexString(UIUserInterfaceStyle::dark),
      "#48484A4D");
  EXPECT_EQ(UIColor::fromHex(" #3e434f\n")->hexString(UIUserInterfaceStyle::light), "#3E434FFF");
  EXPECT_EQ(UIColor::fromHex("12141680")->resolved(UIUserInterfaceStyle::light).alpha, 128 / 255.0);
  EXPECT_FALSE(UIColor::fromHex("#12345"));
  EXPECT_FALSE(UIColor::fromHex("#GG0000"));
  EXPECT_EQ(UIColor(2, -1, NAN, 0.5).hexString(UIUserInterfaceStyle::light), "#FF000080");
}
