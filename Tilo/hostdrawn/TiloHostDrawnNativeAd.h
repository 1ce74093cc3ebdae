// A native ad whose assets the host draws itself, in its own UI (a game engine's), with no
// view of the SDK's: TiloHostDrawnNativeAdLoader hands it over loaded. The host reads the assets,
// and tells the ad when it was seen and when it was tapped:
//
//   ad->native().title;              // headline, body, call to action, advertiser, icon ...
//   ad->recordImpression();          // once it is on screen
//   ad->recordClick();               // on a tap on one of its assets
//
// Both report as a native view's shown ad does: the platform records them, so the loader's
// listener hears onAdImpression / onAdClicked inside the ad-callback crash marker, the
// "ad_impression" / "ad_click" events are logged, the impression is followed by the paid
// event (revenue after the fee) and a click hands its destination to the host's URL opener.
// Each counts once; a click before the impression is refused, as nobody saw the ad.
//
// Main thread only. The ad keeps what reports its events (the platform's ad and the loader
// that received it) but holds the host's loader only through its listener's weak closures:
// callbacks of an ad whose TiloHostDrawnNativeAdLoader is gone reach nobody, its events are logged.
#pragma once

#include <memory>

#include "Tilo/base/TiloExport.h"
#include "Tilo/views/AdNativeLoadable.h"
#include "Tilo/views/TiloAdNative.h"

namespace tilo {

class TILO_EXPORT TiloHostDrawnNativeAd {
 public:
  enum class Recorded {
    recorded,          // reported now
    alreadyRecorded,   // reported before: nothing happened
    beforeImpression,  // a click before the impression: nothing happened
  };

  // `loader` is the one that loaded `native` (its platform ad reports to it).
  TiloHostDrawnNativeAd(TiloAdNative native, std::shared_ptr<AdNativeLoadable> loader);

  const TiloAdNative& native() const { return native_; }
  // The media's still image, or null (the platform's media content is opaque elsewhere).
  std::shared_ptr<platform::UIImage> mediaImage() const;

  Recorded recordImpression();
  Recorded recordClick();
  bool impressionRecorded() const { return impressionRecorded_; }
  bool clickRecorded() const { return clickRecorded_; }

 private:
  const TiloAdNative native_;
  const std::shared_ptr<AdNativeLoadable> loader_;
  bool impressionRecorded_ = false;
  bool clickRecorded_ = false;
};

}  // namespace tilo
