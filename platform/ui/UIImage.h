// Images: decoded from PNG or JPEG bytes, generated (a solid colour or a gradient with a
// caption, for stand-in ad icons and media), or a system symbol drawn as vector strokes.
//
//   std::string error;
//   auto icon = UIImage::imageWithData(bytes, 2.0, &error);  // 2 pixels per point
//   if (!icon) log(error);                                   // "not a PNG or JPEG image"
//   auto media = UIImage::generated({320, 180}, UIColor::systemRedColor(),
//                                   UIColor::systemBlueColor(), "Media");
//   auto close = UIImage::systemImageNamed("xmark");        // tinted when drawn
//   auto creative = UIImage::imageDecodedWhenDrawn(bytes, 2.0, &error);  // pixels per draw size
//
// Images are immutable and shared. size() is in points: pixels divided by scale.
// Warning: decoding refuses images above 16384 pixels on a side or 40 megapixels.
#pragma once

#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/Bytes.h"
#include "platform/ui/CGGeometry.h"
#include "platform/ui/ImageDecoder.h"
#include "platform/ui/PixelFormat.h"
#include "platform/ui/UIColor.h"

namespace tilo::platform {

// Raw values as the platform's.
enum class UIImageRenderingMode {
  automatic = 0,       // symbols are tinted, bitmaps keep their colours
  alwaysOriginal = 1,  // never tinted
  alwaysTemplate = 2,  // only the alpha is used, filled with the tint colour
};

class UIImage {
 public:
  // Decodes PNG or JPEG; nullptr on failure with a sentence in `error`. A scale that is
  // not a positive finite number counts as 1.
  static std::shared_ptr<UIImage> imageWithData(const Bytes& data, double scale = 1.0,
                                                std::string* error = nullptr);
  // The same checks, but only the encoded bytes are kept: each draw takes pixels at the
  // size it covers from ImageRenditionCache, and copyPixels and pngData decode the file's
  // size for their call only. For ad creatives, drawn smaller than their files.
  static std::shared_ptr<UIImage> imageDecodedWhenDrawn(Bytes data, double scale = 1.0,
                                                        std::string* error = nullptr);
  // "xmark" is the one symbol there is; nullptr for any other name.
  static std::shared_ptr<UIImage> systemImageNamed(std::string_view name);
  // A vertical gradient from `top` to `bottom` (pass the same colour twice for a solid
  // image) with `caption` centred on it, in white or black whichever reads better.
  static std::shared_ptr<UIImage> generated(CGSize size, const UIColor& top, const UIColor& bottom,
                                            const std::string& caption = {}, double scale = 2.0);

  CGSize size() const { return size_; }
  double scale() const { return scale_; }
  int pixelWidth() const;
  int pixelHeight() const;
  bool isSymbol() const { return !symbolName_.empty(); }
  const std::string& symbolName() const { return symbolName_; }
  UIImageRenderingMode renderingMode() const { return renderingMode_; }
  std::shared_ptr<UIImage> withRenderingMode(UIImageRenderingMode mode) const;
  // Drawn in the tint colour rather than its own colours.
  bool isTemplate() const {
    return renderingMode_ == UIImageRenderingMode::alwaysTemplate ||
           (renderingMode_ == UIImageRenderingMode::automatic && isSymbol());
  }

  // For an image decoded when drawn: decodes it now at its file's size (any thread, e.g.
  // in the background ahead of a first ad), so that a first draw no larger finds its
  // pixels. Nothing for other images.
  void decodeAhead() const;
  // Draws the image stretched into `rect` (user space, points), tinted with `tint` when
  // it is a template.
  void draw(cairo_t* cr, const CGRect& rect, const RGBA& tint) const;
  // The pixels as PNG (symbols are rendered in black at their size and scale 1).
  Bytes pngData() const;

  // Copies the bitmap (pixelWidth() x pixelHeight()) into `target`, rows `stride` bytes
  // apart (at least pixelWidth() x 4), in `format`. False for symbols, which have none.
  bool copyPixels(std::uint8_t* target, std::size_t stride, PixelFormat format) const;

  // Premultiplied ARGB32 pixels; null for symbols and images decoded when drawn.
  // Internal to platform/ui.
  cairo_surface_t* surface() const { return surface_.get(); }
  bool isDecodedWhenDrawn() const { return encoded_ != nullptr; }

  static constexpr int maxSide = ImageDecoder::maxSide;
  static constexpr long long maxPixels = ImageDecoder::maxPixels;

  UIImage(std::shared_ptr<cairo_surface_t> surface, double scale);
  UIImage(std::string symbolName, CGSize size);

 private:
  std::shared_ptr<cairo_surface_t> fullSizePixels() const;
  // Paints `pixels` shrunk into `rect` from the pixels the same drawing made last time,
  // making them first if it was another; false when the drawing does not qualify.
  bool paintShrunk(cairo_t* cr, const CGRect& rect,
                   const std::shared_ptr<cairo_surface_t>& pixels) const;

  // The last two drawings shrunk below half size (which averages every pixel it covers),
  // kept as the device pixels they made: a blur's backdrop draws the same shrunk picture
  // every frame, maybe beside the picture itself. At most kMaxShrunkPixels each; copies
  // share them, as they draw the same pixels.
  static constexpr long long kMaxShrunkPixels = 1'000'000;
  struct Shrunk {
    std::weak_ptr<cairo_surface_t> source;  // the pixels it was made from
    double placement[8] = {};               // scale, fraction of a pixel, rectangle
    std::shared_ptr<cairo_surface_t> pixels;
  };
  struct ShrunkCache {
    std::mutex mutex;
    Shrunk entries[2];  // the most recently drawn first
  };

  std::shared_ptr<cairo_surface_t> surface_;
  std::shared_ptr<const Bytes> encoded_;  // PNG or JPEG, for images decoded when drawn
  int encodedWidth_ = 0, encodedHeight_ = 0;
  CGSize size_;
  double scale_ = 1;
  std::string symbolName_;
  UIImageRenderingMode renderingMode_ = UIImageRenderingMode::automatic;
  std::shared_ptr<ShrunkCache> shrunk_ = std::make_shared<ShrunkCache>();
};

}  // namespace tilo::platform
