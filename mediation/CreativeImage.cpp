#include "mediation/CreativeImage.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>

namespace tilo::mediation {
namespace {

// Width and height from a PNG's header chunk or a JPEG's frame header, read without
// decoding anything; nullopt when the bytes are neither.
std::optional<std::pair<long long, long long>> imageDimensions(const platform::Bytes& bytes) {
  auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
  auto big16 = [&](std::size_t i) { return (static_cast<long long>(byte(i)) << 8) | byte(i + 1); };
  auto big32 = [&](std::size_t i) { return (big16(i) << 16) | big16(i + 2); };
  static const std::uint8_t kPng[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  if (bytes.size() >= 24 && std::equal(kPng, kPng + 8, bytes.begin()) && byte(12) == 'I' &&
      byte(13) == 'H' && byte(14) == 'D' && byte(15) == 'R') {
    return std::pair{big32(16), big32(20)};
  }
  if (bytes.size() < 4 || byte(0) != 0xFF || byte(1) != 0xD8) return std::nullopt;
  // JPEG: walk the segments up to the frame header (SOF0..SOF15 but DHT, JPG and DAC).
  std::size_t at = 2;
  while (at + 4 <= bytes.size()) {
    if (byte(at) != 0xFF) return std::nullopt;
    const std::uint8_t marker = byte(at + 1);
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    if (marker == 0xD9 || marker == 0xDA) return std::nullopt;  // image data before a frame
    const long long length = big16(at + 2);
    const bool frame =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (at + 9 > bytes.size()) return std::nullopt;
      return std::pair{big16(at + 7), big16(at + 5)};
    }
    if (length < 2) return std::nullopt;
    at += 2 + static_cast<std::size_t>(length);
  }
  return std::nullopt;
}

}  // namespace

std::shared_ptr<platform::UIImage> CreativeImage::fromBytes(platform::Bytes bytes,
                                                            const std::string& name,
                                                            std::string* problem) {
  auto refuse = [&](const std::string& why) -> std::shared_ptr<platform::UIImage> {
    if (problem) *problem = why;
    return nullptr;
  };
  const auto size = imageDimensions(bytes);
  if (!size) return refuse(name + " is not a PNG or JPEG image");
  const auto [width, height] = *size;
  if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide ||
      width * height > kMaxPixels) {
    return refuse(name + " is " + std::to_string(width) + " x " + std::to_string(height) +
                  " pixels; a creative image has at most " + std::to_string(kMaxSide) +
                  " pixels a side and " + std::to_string(kMaxPixels) + " in all");
  }
  std::string decodeError;
  auto image = platform::UIImage::imageDecodedWhenDrawn(std::move(bytes), kScale, &decodeError);
  if (!image) return refuse(name + ": " + decodeError);
  return image;
}

}  // namespace tilo::mediation
