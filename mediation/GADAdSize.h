// The size of a banner ad, in points.
//
//   banner->setAdSize(GADAdSizeFromCGSize({300, 250}));
#pragma once

#include "platform/ui/CGGeometry.h"

namespace tilo::mediation {

struct GADAdSize {
  platform::CGSize size;
  unsigned flags = 0;

  bool operator==(const GADAdSize&) const = default;
};

inline GADAdSize GADAdSizeFromCGSize(platform::CGSize size) {
  return GADAdSize{size, 0};
}

}  // namespace tilo::mediation
