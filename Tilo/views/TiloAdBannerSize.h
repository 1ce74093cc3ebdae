// The two banner sizes, in points.
#pragma once

#include "Tilo/base/TiloAdFormat.h"

namespace tilo {

enum class TiloAdBannerSize : int {
  banner = 0,  // 320 × 50
  MREC = 1,    // 300 × 250
};

constexpr double width(TiloAdBannerSize size) {
  return size == TiloAdBannerSize::banner ? 320 : 300;
}
constexpr double height(TiloAdBannerSize size) {
  return size == TiloAdBannerSize::banner ? 50 : 250;
}
constexpr TiloAdFormat adFormat(TiloAdBannerSize size) {
  return size == TiloAdBannerSize::banner ? TiloAdFormat::banner : TiloAdFormat::mrec;
}

}  // namespace tilo
