#include "Tilo/hostdrawn/TiloHostDrawnNativeAd.h"

#include "Tilo/base/MainThreadCheck.h"
#include "mediation/GADMediaContent.h"
#include "mediation/GADNativeAd.h"

namespace tilo {

namespace {

std::shared_ptr<mediation::GADNativeAd> platformAd(const TiloAdNative& native) {
  const auto* origin = std::any_cast<std::shared_ptr<mediation::GADNativeAd>>(&native.origin);
  return origin ? *origin : nullptr;
}

}  // namespace

TiloHostDrawnNativeAd::TiloHostDrawnNativeAd(TiloAdNative native,
                                             std::shared_ptr<AdNativeLoadable> loader)
    : native_(std::move(native)), loader_(std::move(loader)) {}

std::shared_ptr<platform::UIImage> TiloHostDrawnNativeAd::mediaImage() const {
  const auto* content =
      std::any_cast<std::shared_ptr<mediation::GADMediaContent>>(&native_.mediaContent);
  return content && *content ? (*content)->mainImage() : nullptr;
}

TiloHostDrawnNativeAd::Recorded TiloHostDrawnNativeAd::recordImpression() {
  requireMainThread();
  if (impressionRecorded_) return Recorded::alreadyRecorded;
  impressionRecorded_ = true;
  // The platform answers through the loader (listener, event, then the paid event). Its
  // scripted click after the impression is a simulated tap on a view: a host-drawn ad
  // has none, and its clicks come from the host.
  if (auto ad = platformAd(native_)) (void)ad->recordImpression();
  return Recorded::recorded;
}

TiloHostDrawnNativeAd::Recorded TiloHostDrawnNativeAd::recordClick() {
  requireMainThread();
  if (!impressionRecorded_) return Recorded::beforeImpression;
  if (clickRecorded_) return Recorded::alreadyRecorded;
  clickRecorded_ = true;
  if (auto ad = platformAd(native_)) ad->recordClick();
  return Recorded::recorded;
}

}  // namespace tilo
