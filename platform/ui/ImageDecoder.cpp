#include "platform/ui/ImageDecoder.h"

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
#include <functional>
#include <vector>

#include "platform/SystemLibraries.h"

namespace tilo::platform {
namespace {

using SurfacePtr = std::shared_ptr<cairo_surface_t>;

SurfacePtr adopt(cairo_surface_t* surface) {
  return SurfacePtr(surface, cairo_surface_destroy);
}

SurfacePtr makeSurface(int width, int height) {
  auto surface = adopt(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
  return surface;
}

bool tooLarge(long long width, long long height) {
  return width <= 0 || height <= 0 || width > ImageDecoder::maxSide ||
         height > ImageDecoder::maxSide || width * height > ImageDecoder::maxPixels;
}

std::string sizeError(long long width, long long height) {
  return "image of " + std::to_string(width) + " x " + std::to_string(height) +
         " pixels is empty or larger than " + std::to_string(ImageDecoder::maxSide) +
         " pixels on a side or " + std::to_string(ImageDecoder::maxPixels) + " pixels in all";
}

bool isPng(const Bytes& data) {
  static const unsigned char kPng[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return data.size() >= sizeof kPng && std::equal(kPng, kPng + sizeof kPng, data.begin());
}

bool isJpeg(const Bytes& data) {
  return data.size() >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

std::uint32_t premultiplied(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) {
  auto mul = [a](std::uint8_t c) -> std::uint32_t { return (c * a + 127) / 255; };
  return (std::uint32_t(a) << 24) | (mul(r) << 16) | (mul(g) << 8) | mul(b);
}

// The source pixels one destination pixel covers, and the share of each.
struct Span {
  int first = 0;
  std::vector<float> weights;
};

std::vector<Span> spans(int from, int to) {
  std::vector<Span> out(static_cast<std::size_t>(to));
  const double ratio = static_cast<double>(from) / to;
  for (int o = 0; o < to; ++o) {
    const double start = o * ratio, end = (o + 1) * ratio;
    Span& span = out[static_cast<std::size_t>(o)];
    span.first = std::min(from - 1, static_cast<int>(std::floor(start)));
    const int last = std::min(from - 1, static_cast<int>(std::ceil(end)) - 1);
    for (int i = span.first; i <= last; ++i) {
      const double covered = std::min(end, i + 1.0) - std::max(start, static_cast<double>(i));
      span.weights.push_back(static_cast<float>(std::max(0.0, covered) / ratio));
    }
  }
  return out;
}

// Fills one source row as premultiplied A, R, G, B floats, 4 per pixel.
using RowSource = std::function<void(int y, float* argb)>;

SurfacePtr areaAverage(int sourceWidth, int sourceHeight, int width, int height,
                       const RowSource& row) {
  auto surface = makeSurface(width, height);
  if (!surface) return nullptr;
  const auto across = spans(sourceWidth, width), down = spans(sourceHeight, height);
  std::vector<float> source(std::size_t(sourceWidth) * 4), line(std::size_t(width) * 4),
      sum(std::size_t(width) * 4);
  unsigned char* pixels = cairo_image_surface_get_data(surface.get());
  const int stride = cairo_image_surface_get_stride(surface.get());
  for (int y = 0; y < height; ++y) {
    std::fill(sum.begin(), sum.end(), 0.0f);
    const Span& vertical = down[static_cast<std::size_t>(y)];
    for (std::size_t k = 0; k < vertical.weights.size(); ++k) {
      row(vertical.first + static_cast<int>(k), source.data());
      for (int x = 0; x < width; ++x) {
        const Span& horizontal = across[static_cast<std::size_t>(x)];
        float a = 0, r = 0, g = 0, b = 0;
        const float* in = source.data() + std::size_t(horizontal.first) * 4;
        for (float w : horizontal.weights) {
          a += w * in[0], r += w * in[1], g += w * in[2], b += w * in[3];
          in += 4;
        }
        float* out = line.data() + std::size_t(x) * 4;
        out[0] = a, out[1] = r, out[2] = g, out[3] = b;
      }
      const float w = vertical.weights[k];
      for (std::size_t i = 0; i < sum.size(); ++i) sum[i] += w * line[i];
    }
    auto* out = reinterpret_cast<std::uint32_t*>(pixels + std::size_t(y) * stride);
    for (int x = 0; x < width; ++x) {
      const float* p = sum.data() + std::size_t(x) * 4;
      auto channel = [](float v, std::uint32_t limit) {
        return std::min(limit, static_cast<std::uint32_t>(std::clamp(v, 0.0f, 255.0f) + 0.5f));
      };
      const std::uint32_t a = channel(p[0], 255);
      out[x] = (a << 24) | (channel(p[1], a) << 16) | (channel(p[2], a) << 8) | channel(p[3], a);
    }
  }
  cairo_surface_mark_dirty(surface.get());
  return surface;
}

std::optional<ImageDecoder::Header> pngHeader(const Bytes& data, png_image& image,
                                              std::string& error) {
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, data.data(), data.size())) {
    error = std::string("PNG data does not decode: ") + image.message;
    return std::nullopt;
  }
  if (tooLarge(image.width, image.height)) {
    error = sizeError(image.width, image.height);
    png_image_free(&image);
    return std::nullopt;
  }
  return ImageDecoder::Header{ImageDecoder::Format::png, static_cast<int>(image.width),
                              static_cast<int>(image.height)};
}

SurfacePtr decodePng(const Bytes& data, int width, int height, std::string& error) {
  png_image image;
  const auto header = pngHeader(data, image, error);
  if (!header) return nullptr;
  image.format = PNG_FORMAT_RGBA;
  const std::size_t rowBytes = std::size_t(image.width) * 4;
  // The file's full size, for this call only.
  std::vector<std::uint8_t> rgba(rowBytes * image.height);
  if (!png_image_finish_read(&image, nullptr, rgba.data(), static_cast<png_int_32>(rowBytes),
                             nullptr)) {
    error = std::string("PNG data does not decode: ") + image.message;
    png_image_free(&image);
    return nullptr;
  }
  if (width != header->width || height != header->height) {
    auto averaged =
        areaAverage(header->width, header->height, width, height, [&](int y, float* out) {
          const std::uint8_t* in = rgba.data() + std::size_t(y) * rowBytes;
          for (int x = 0; x < header->width; ++x, in += 4, out += 4) {
            const float a = in[3] / 255.0f;
            out[0] = in[3], out[1] = in[0] * a, out[2] = in[1] * a;
            out[3] = in[2] * a;
          }
        });
    if (!averaged) error = "not enough memory for the image";
    return averaged;
  }
  auto surface = makeSurface(width, height);
  if (!surface) {
    error = "not enough memory for the image";
    return nullptr;
  }
  unsigned char* pixels = cairo_image_surface_get_data(surface.get());
  const int stride = cairo_image_surface_get_stride(surface.get());
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

// The smallest of libjpeg's 1/8, 1/4 and 1/2 scales still at least `want` pixels, else 1.
int jpegScaleDenominator(long long width, long long height, int wantWidth, int wantHeight) {
  for (int denominator : {8, 4, 2}) {
    if ((width + denominator - 1) / denominator >= wantWidth &&
        (height + denominator - 1) / denominator >= wantHeight) {
      return denominator;
    }
  }
  return 1;
}

// Plain C style on purpose: longjmp must not skip destructors, so nothing in this
// function's frame has one, and the two resources are released on both paths. With
// `headerOnly` it reads the size into `width` and `height` and returns null with an empty
// error; otherwise it decodes at the smallest scale that still covers `width` x `height`
// and returns the size it decoded at there.
cairo_surface_t* decodeJpegSurface(const unsigned char* data, std::size_t size, bool headerOnly,
                                   int* width, int* height, char* error, std::size_t errorSize) {
  jpeg_decompress_struct info;
  JpegErrorManager errors;
  errors.truncated = false;
  errors.message[0] = 0;
  error[0] = 0;
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
  if (headerOnly) {
    *width = static_cast<int>(info.image_width);
    *height = static_cast<int>(info.image_height);
    jpeg_destroy_decompress(&info);
    return nullptr;
  }
  info.out_color_space = JCS_RGB;
  info.scale_num = 1;
  info.scale_denom = static_cast<unsigned int>(
      jpegScaleDenominator(info.image_width, info.image_height, *width, *height));
  jpeg_start_decompress(&info);
  const int outWidth = static_cast<int>(info.output_width);
  const int outHeight = static_cast<int>(info.output_height);
  surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, outWidth, outHeight);
  row = static_cast<unsigned char*>(std::malloc(std::size_t(outWidth) * 3));
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
  const int stride = cairo_image_surface_get_stride(surface);
  while (info.output_scanline < info.output_height && !errors.truncated) {
    JSAMPROW rows[1] = {row};
    const int y = static_cast<int>(info.output_scanline);
    if (jpeg_read_scanlines(&info, rows, 1) != 1) break;
    auto* out = reinterpret_cast<std::uint32_t*>(pixels + std::size_t(y) * stride);
    for (int x = 0; x < outWidth; ++x) {
      out[x] = 0xFF000000u | (std::uint32_t(row[3 * x]) << 16) |
               (std::uint32_t(row[3 * x + 1]) << 8) | row[3 * x + 2];
    }
  }
  const bool complete = info.output_scanline == info.output_height && !errors.truncated;
  if (complete) jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  std::free(row);
  if (!complete) {
    std::snprintf(error, errorSize, "JPEG data does not decode: the data ends early");
    cairo_surface_destroy(surface);
    return nullptr;
  }
  cairo_surface_mark_dirty(surface);
  *width = outWidth;
  *height = outHeight;
  return surface;
}

}  // namespace

std::optional<ImageDecoder::Header> ImageDecoder::readHeader(const Bytes& data,
                                                             std::string& error) {
  if (data.empty()) {
    error = "empty image data";
    return std::nullopt;
  }
  // Reading a header already calls into libpng or libjpeg.
  if (auto missing = missingLibrary(SystemFeature::graphics)) {
    error = missing->message();
    return std::nullopt;
  }
  if (isPng(data)) {
    png_image image;
    auto header = pngHeader(data, image, error);
    if (header) png_image_free(&image);
    return header;
  }
  if (isJpeg(data)) {
    char text[JMSG_LENGTH_MAX + 64];
    int width = 0, height = 0;
    decodeJpegSurface(data.data(), data.size(), true, &width, &height, text, sizeof text);
    if (text[0]) {
      error = text;
      return std::nullopt;
    }
    return Header{Format::jpeg, width, height};
  }
  error = "not a PNG or JPEG image";
  return std::nullopt;
}

std::shared_ptr<cairo_surface_t> ImageDecoder::decode(const Bytes& data, int width, int height,
                                                      std::string& error) {
  if (auto missing = missingLibrary(SystemFeature::graphics)) {
    error = missing->message();
    return nullptr;
  }
  const auto header = readHeader(data, error);
  if (!header) return nullptr;
  width = width <= 0 ? header->width : std::min(width, header->width);
  height = height <= 0 ? header->height : std::min(height, header->height);
  if (header->format == Format::png) return decodePng(data, width, height, error);
  char text[JMSG_LENGTH_MAX + 64];
  int decodedWidth = width, decodedHeight = height;
  cairo_surface_t* decoded = decodeJpegSurface(data.data(), data.size(), false, &decodedWidth,
                                               &decodedHeight, text, sizeof text);
  if (!decoded) {
    error = text;
    return nullptr;
  }
  auto surface = adopt(decoded);
  if (decodedWidth == width && decodedHeight == height) return surface;
  auto averaged = downscale(surface.get(), width, height);
  if (!averaged) error = "not enough memory for the image";
  return averaged;
}

std::shared_ptr<cairo_surface_t> ImageDecoder::downscale(cairo_surface_t* source, int width,
                                                         int height) {
  cairo_surface_flush(source);
  const int sourceWidth = cairo_image_surface_get_width(source);
  const int sourceHeight = cairo_image_surface_get_height(source);
  const unsigned char* pixels = cairo_image_surface_get_data(source);
  const int stride = cairo_image_surface_get_stride(source);
  if (!pixels || width < 1 || height < 1) return nullptr;
  width = std::min(width, sourceWidth);
  height = std::min(height, sourceHeight);
  return areaAverage(sourceWidth, sourceHeight, width, height, [&](int y, float* out) {
    const auto* in = reinterpret_cast<const std::uint32_t*>(pixels + std::size_t(y) * stride);
    for (int x = 0; x < sourceWidth; ++x, out += 4) {
      const std::uint32_t p = in[x];
      out[0] = static_cast<float>(p >> 24), out[1] = static_cast<float>((p >> 16) & 0xFF);
      out[2] = static_cast<float>((p >> 8) & 0xFF), out[3] = static_cast<float>(p & 0xFF);
    }
  });
}

}  // namespace tilo::platform
