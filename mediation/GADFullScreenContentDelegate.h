// Receives the presentation callbacks of one full-screen ad, on the main thread. Ads hold
// their delegate weakly.
#pragma once

#include "mediation/NSError.h"

namespace tilo::mediation {

class GADFullScreenContentDelegate {
 public:
  virtual ~GADFullScreenContentDelegate() = default;
  virtual void adWillPresentFullScreenContent() {}
  virtual void adDidDismissFullScreenContent() {}
  virtual void didFailToPresentFullScreenContentWithError(const NSError&) {}
  virtual void adDidRecordImpression() {}
  virtual void adDidRecordClick() {}
};

}  // namespace tilo::mediation
