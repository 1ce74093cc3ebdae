// The checks every creative picture passes before the SDK keeps it, whether a scenario's
// file or an exchange's download: PNG or JPEG, at most kMaxSide pixels a side and
// kMaxPixels in all (read from its header, before anything is decoded), and bytes that
// decode. Only the bytes are kept: the picture is decoded at the size it is drawn.
//
//   std::string problem;
//   auto image = CreativeImage::fromBytes(std::move(bytes), "icon.png", &problem);
//   if (!image) fail(problem);   // "icon.png is 9000 x 9000 pixels; a creative image has ..."
#pragma once

#include <memory>
#include <string>

#include "platform/Bytes.h"
#include "platform/ui/UIImage.h"

namespace tilo::mediation {

class CreativeImage {
 public:
  static constexpr int kMaxSide = 4096;
  static constexpr long long kMaxPixels = 4LL << 20;
  // Pixels per point of creative pictures.
  static constexpr double kScale = 2.0;

  // Null with a sentence naming `name` in `problem` when the bytes are refused.
  static std::shared_ptr<platform::UIImage> fromBytes(platform::Bytes bytes,
                                                      const std::string& name,
                                                      std::string* problem);
};

}  // namespace tilo::mediation
