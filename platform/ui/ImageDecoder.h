// PNG and JPEG bytes to premultiplied ARGB32 pixels, at the file's size or smaller.
//
//   std::string error;
//   auto header = ImageDecoder::readHeader(bytes, error);        // nothing decoded yet
//   auto pixels = ImageDecoder::decode(bytes, 100, 100, error);  // 1200² file, 100² held
//
// A smaller decode averages every source pixel it covers (a box filter on premultiplied
// colours), so stripes finer than a pixel come out as their mean, not as a moiré. A JPEG
// is first decoded at 1/2, 1/4 or 1/8 of its size when that is still at least as large
// as asked: the full-size pixels are never made. A PNG's full-size pixels exist only
// during the call.
//
// Warning: headers above maxSide pixels a side or maxPixels in all are refused before any
// pixel memory is allocated.
#pragma once

#include <cairo.h>

#include <memory>
#include <optional>
#include <string>

#include "platform/Bytes.h"

namespace tilo::platform {

class ImageDecoder {
 public:
  enum class Format { png, jpeg };
  // The largest image held: UIImage's limits too.
  static constexpr int maxSide = 16384;
  static constexpr long long maxPixels = 40'000'000;
  struct Header {
    Format format;
    int width;
    int height;
  };

  // Format and pixel size from the header alone; nullopt with a sentence in `error` for
  // empty data, data that is neither PNG nor JPEG, a header that does not parse, or a size
  // over the limits.
  static std::optional<Header> readHeader(const Bytes& data, std::string& error);

  // The whole image at `width` x `height` pixels (each clamped to 1 .. the file's size);
  // 0 for either means the file's size. Null with a sentence in `error` when the data
  // does not decode, even partly.
  static std::shared_ptr<cairo_surface_t> decode(const Bytes& data, int width, int height,
                                                 std::string& error);

  // Area-averages premultiplied ARGB32 pixels of `source` into a new surface of `width` x
  // `height` (each at most the source's). Null when memory runs out.
  static std::shared_ptr<cairo_surface_t> downscale(cairo_surface_t* source, int width, int height);
};

}  // namespace tilo::platform
