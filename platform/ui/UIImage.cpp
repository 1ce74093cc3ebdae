#include "platform/ui/UIImage.h"

#include "platform/SystemLibraries.h"

#include <png.h>
// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdint>

#include "platform/ui/TextLayout.h"

namespace tilo::platform {
namespace {

using SurfacePtr = std::shared_ptr<cairo_surface_t>;

SurfacePtr adopt(cairo_surface_t* surface) {
  return SurfacePtr(surface, cairo_surface_destroy);
}

bool tooLarge(long long width, long long height) {
  return width <= 0 || height <= 0 || width > UIImage::maxSide || height > UIImage::maxSide ||
         width * height > UIImage::maxPixels;
}

std::string sizeError(long long width, long long height) {
  return "image of " + std::to_string(width) + " x " + std::to_string(height) +
         " pixels is empty or larger than " + std::to_string(UIImage::maxSide) +
         " pixels on a side or " + std::to_string(UIImage::maxPixels) + " pixels in all";
}

std::uint32_t premultiplied(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) {
  auto mul = [a](std::uint8_t c) -> std::uint32_t { return (c * a + 127) / 255; };
  return (std::uint32_t(a) << 24) | (mul(r) << 16) | (mul(g) << 8) | mul(b);
}

SurfacePtr decodePng(const Bytes& data, std::string& error) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, data.data(), data.size())) {
    error = std::string("PNG data does not decode: ") + image.message;
    return nullptr;
  }
  if (tooLarge(image.width, image.height)) {
    error = sizeError(image.width, image.height);
    png_image_free(&image);
    return nullptr;
  }
  image.format = PNG_FORMAT_RGBA;
  std::size_t rowBytes = std::size_t(image.width) * 4;
  std::vector<std::uint8_t> rgba(rowBytes * image.height);
  if (!png_image_finish_read(&image, nullptr, rgba.data(), static_cast<png_int_32>(rowBytes),
                             nullptr)) {
    error = std::string("PNG data does not decode: ") + image.message;
    png_image_free(&image);
    return nullptr;
  }
  int width = static_cast<int>(image.width);
  int height = static_cast<int>(image.height);
  auto surface = adopt(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
    error = "not enough memory for the image";
    return nullptr;
  }
  unsigned char* pixels = cairo_image_surface_get_data(surface.get());
  int stride = cairo_image_surface_get_stride(surface.get());
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* in = rgba.data() + std::size_t(y) * rowBytes;
    auto* out = reinterpret_cast<std::uint32_t*>(pixels + std::size_t(y) * stride);
    for (int x = 0; x < width; ++x, in += 4) out[x] = premultiplied(in[0], in[1], in[2], in[3]);
  }
  cairo_surface_mark_dirty(surface.get());
  return surface;
}

struct JpegErrorManager {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  bool truncated;
  char message[JMSG_LENGTH_MAX];
};

void onJpegError(j_common_ptr info) {
  auto* errors = reinterpret_cast<JpegErrorManager*>(info->err);
  (*info->err->format_message)(info, errors->message);
  std::longjmp(errors->jump, 1);
}

void onJpegMessage(j_common_ptr info, int level) {
  // Warnings are silent, except that a premature end of the data fails the decode
  // instead of leaving grey rows.
  if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) {
    reinterpret_cast<JpegErrorManager*>(info->err)->truncated = true;
  }
}

// Plain C style on purpose: longjmp must not skip destructors, so nothing in this
// function's frame has one, and the two resources are released on both paths.
cairo_surface_t* decodeJpegSurface(const unsigned char* data, std::size_t size, char* error,
                                   std::size_t errorSize) {
  jpeg_decompress_struct info;
  JpegErrorManager errors;
  errors.truncated = false;
  errors.message[0] = 0;
  unsigned char* volatile row = nullptr;
  cairo_surface_t* volatile surface = nullptr;
  info.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = onJpegError;
  errors.manager.emit_message = onJpegMessage;
  if (setjmp(errors.jump)) {
    jpeg_destroy_decompress(&info);
    std::free(row);
    if (surface) cairo_surface_destroy(surface);
    std::snprintf(error, errorSize, "JPEG data does not decode: %s", errors.message);
    return nullptr;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  jpeg_read_header(&info, TRUE);
  if (tooLarge(info.image_width, info.image_height)) {
    std::snprintf(error, errorSize, "%s", sizeError(info.image_width, info.image_height).c_str());
    jpeg_destroy_decompress(&info);
    return nullptr;
  }
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  int width = static_cast<int>(info.output_width);
  int height = static_cast<int>(info.output_height);
  surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  row = static_cast<unsigned char*>(std::malloc(std::size_t(width) * 3));
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS || !row ||
      info.output_components != 3) {
    std::snprintf(error, errorSize, "%s",
                  info.output_components != 3 ? "unsupported JPEG colour space"
                                              : "not enough memory for the image");
    jpeg_destroy_decompress(&info);
    std::free(row);
    cairo_surface_destroy(surface);
    return nullptr;
  }
  unsigned char* pixels = cairo_image_surface_get_data(surface);
  int stride = cairo_image_surface_get_stride(surface);
  while (info.output_scanline < info.output_height && !errors.truncated) {
    JSAMPROW rows[1] = {row};
    int y = static_cast<int>(info.output_scanline);
    if (jpeg_read_scanlines(&info, rows, 1) != 1) break;
    auto* out = reinterpret_cast<std::uint32_t*>(pixels + std::size_t(y) * stride);
    for (int x = 0; x < width; ++x) {
      out[x] = 0xFF000000u | (std::uint32_t(row[3 * x]) << 16) |
               (std::uint32_t(row[3 * x + 1]) << 8) | row[3 * x + 2];
    }
  }
  bool complete = info.output_scanline == info.output_height && !errors.truncated;
  if (complete) jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  std::free(row);
  if (!complete) {
    std::snprintf(error, errorSize, "JPEG data does not decode: the data ends early");
    cairo_surface_destroy(surface);
    return nullptr;
  }
  cairo_surface_mark_dirty(surface);
  return surface;
}

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
  auto* out = static_cast<Bytes*>(closure);
  out->insert(out->end(), data, data + length);
  return CAIRO_STATUS_SUCCESS;
}

void drawXmark(cairo_t* cr, const CGRect& rect) {
  // Two strokes corner to corner, round caps, weight proportional to the symbol size.
  double side = std::min(rect.width(), rect.height());
  double inset = side * 0.2;
  double x0 = rect.midX() - side / 2 + inset, x1 = rect.midX() + side / 2 - inset;
  double y0 = rect.midY() - side / 2 + inset, y1 = rect.midY() + side / 2 - inset;
  cairo_set_line_width(cr, side * 0.125);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_move_to(cr, x0, y0);
  cairo_line_to(cr, x1, y1);
  cairo_move_to(cr, x1, y0);
  cairo_line_to(cr, x0, y1);
  cairo_stroke(cr);
}

}  // namespace

UIImage::UIImage(std::shared_ptr<cairo_surface_t> surface, double scale)
    : surface_(std::move(surface)), scale_(scale) {
  size_ = {cairo_image_surface_get_width(surface_.get()) / scale,
           cairo_image_surface_get_height(surface_.get()) / scale};
}

UIImage::UIImage(std::string symbolName, CGSize size)
    : size_(size), symbolName_(std::move(symbolName)) {}

std::shared_ptr<UIImage> UIImage::imageWithData(const Bytes& data, double scale,
                                                std::string* error) {
  if (!std::isfinite(scale) || scale <= 0) scale = 1;
  std::string message;
  SurfacePtr surface;
  static const unsigned char kPng[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (auto missing = missingLibrary(SystemFeature::graphics)) {
    message = missing->message();
  } else if (data.empty()) {
    message = "empty image data";
  } else if (data.size() >= sizeof kPng && std::equal(kPng, kPng + sizeof kPng, data.begin())) {
    surface = decodePng(data, message);
  } else if (data.size() >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) {
    char text[JMSG_LENGTH_MAX + 64];
    cairo_surface_t* decoded = decodeJpegSurface(data.data(), data.size(), text, sizeof text);
    if (decoded) {
      surface = adopt(decoded);
    } else {
      message = text;
    }
  } else {
    message = "not a PNG or JPEG image";
  }
  if (!surface) {
    if (error) *error = message;
    return nullptr;
  }
  return std::make_shared<UIImage>(std::move(surface), scale);
}

std::shared_ptr<UIImage> UIImage::systemImageNamed(std::string_view name) {
  if (name != "xmark") return nullptr;
  // The size the platform gives the symbol at the body text size.
  return std::make_shared<UIImage>(std::string(name), CGSize{17, 17});
}

std::shared_ptr<UIImage> UIImage::generated(CGSize size, const UIColor& top, const UIColor& bottom,
                                            const std::string& caption, double scale) {
  if (!std::isfinite(scale) || scale <= 0) scale = 1;
  double width = std::isfinite(size.width) ? std::clamp(size.width, 1.0, 4096.0) : 1.0;
  double height = std::isfinite(size.height) ? std::clamp(size.height, 1.0, 4096.0) : 1.0;
  int pixelWidth = std::max(1, static_cast<int>(std::lround(width * scale)));
  int pixelHeight = std::max(1, static_cast<int>(std::lround(height * scale)));
  auto surface = adopt(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixelWidth, pixelHeight));
  cairo_t* cr = cairo_create(surface.get());
  cairo_scale(cr, scale, scale);
  RGBA from = top.resolved(UIUserInterfaceStyle::light);
  RGBA to = bottom.resolved(UIUserInterfaceStyle::light);
  cairo_pattern_t* gradient = cairo_pattern_create_linear(0, 0, 0, height);
  cairo_pattern_add_color_stop_rgba(gradient, 0, from.red, from.green, from.blue, from.alpha);
  cairo_pattern_add_color_stop_rgba(gradient, 1, to.red, to.green, to.blue, to.alpha);
  cairo_set_source(cr, gradient);
  cairo_paint(cr);
  cairo_pattern_destroy(gradient);
  if (!caption.empty()) {
    double luminance = 0.2126 * (from.red + to.red) / 2 + 0.7152 * (from.green + to.green) / 2 +
                       0.0722 * (from.blue + to.blue) / 2;
    RGBA ink = luminance > 0.6 ? RGBA{0, 0, 0, 1} : RGBA{1, 1, 1, 1};
    double fontSize = std::clamp(std::min(width, height) / 4, 6.0, 48.0);
    auto text = TextLayout::make({.text = caption,
                                  .font = UIFont::systemFont(fontSize, UIFontWeight::semibold),
                                  .width = width - 4,
                                  .numberOfLines = 1,
                                  .alignment = NSTextAlignment::center});
    text->draw(cr, {2, (height - text->size().height) / 2, width - 4, text->size().height}, ink);
  }
  cairo_destroy(cr);
  cairo_surface_flush(surface.get());
  return std::make_shared<UIImage>(std::move(surface), scale);
}

bool UIImage::copyPixels(std::uint8_t* target, std::size_t stride, PixelFormat format) const {
  if (!surface_) return false;
  cairo_surface_flush(surface_.get());
  const auto* source = cairo_image_surface_get_data(surface_.get());
  if (!source) return false;
  platform::copyPixels(source,
                       static_cast<std::size_t>(cairo_image_surface_get_stride(surface_.get())),
                       target, stride, PixelRect{0, 0, pixelWidth(), pixelHeight()}, format);
  return true;
}

int UIImage::pixelWidth() const {
  return surface_ ? cairo_image_surface_get_width(surface_.get())
                  : static_cast<int>(std::lround(size_.width));
}

int UIImage::pixelHeight() const {
  return surface_ ? cairo_image_surface_get_height(surface_.get())
                  : static_cast<int>(std::lround(size_.height));
}

std::shared_ptr<UIImage> UIImage::withRenderingMode(UIImageRenderingMode mode) const {
  auto copy = std::make_shared<UIImage>(*this);
  copy->renderingMode_ = mode;
  return copy;
}

void UIImage::draw(cairo_t* cr, const CGRect& rect, const RGBA& tint) const {
  if (rect.isEmpty() || !rect.isFinite()) return;
  cairo_save(cr);
  if (isSymbol()) {
    RGBA ink = isTemplate() ? tint : RGBA{0, 0, 0, 1};
    cairo_set_source_rgba(cr, ink.red, ink.green, ink.blue, ink.alpha);
    drawXmark(cr, rect);
    cairo_restore(cr);
    return;
  }
  int width = pixelWidth(), height = pixelHeight();
  cairo_rectangle(cr, rect.x(), rect.y(), rect.width(), rect.height());
  cairo_clip(cr);
  cairo_translate(cr, rect.x(), rect.y());
  double sx = rect.width() / width, sy = rect.height() / height;
  cairo_scale(cr, sx, sy);
  cairo_pattern_t* pattern = cairo_pattern_create_for_surface(surface_.get());
  // Shrinking a lot needs a filter that averages; otherwise bilinear is enough and fast.
  double deviceScale = 1;
  {
    double dx = 1, dy = 0;
    cairo_user_to_device_distance(cr, &dx, &dy);
    deviceScale = std::hypot(dx, dy);
  }
  cairo_pattern_set_filter(pattern, deviceScale < 0.5 ? CAIRO_FILTER_GOOD : CAIRO_FILTER_BILINEAR);
  cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
  if (isTemplate()) {
    cairo_set_source_rgba(cr, tint.red, tint.green, tint.blue, tint.alpha);
    cairo_mask(cr, pattern);
  } else {
    cairo_set_source(cr, pattern);
    cairo_paint(cr);
  }
  cairo_pattern_destroy(pattern);
  cairo_restore(cr);
}

Bytes UIImage::pngData() const {
  Bytes out;
  SurfacePtr surface = surface_;
  if (!surface) {
    surface = adopt(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max(1, pixelWidth()),
                                               std::max(1, pixelHeight())));
    cairo_t* cr = cairo_create(surface.get());
    draw(cr, {0, 0, size_.width, size_.height}, {0, 0, 0, 1});
    cairo_destroy(cr);
  }
  cairo_surface_write_to_png_stream(surface.get(), appendBytes, &out);
  return out;
}

}  // namespace tilo::platform
