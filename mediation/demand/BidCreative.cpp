#include "mediation/demand/BidCreative.h"

namespace tilo::mediation::demand {

AdScript BidCreative::script(const WinningBid& bid, const BidPictures& pictures,
                             const std::string& format, double latencySeconds,
                             std::shared_ptr<BidNotices> notices) {
  AdScript script;
  script.fill = true;
  script.network = bid.seat;
  script.latencies = {latencySeconds};
  script.revenue = GADAdValue{bid.price * *platform::Decimal::fromString("0.001"), bid.currency,
                              kPrecisePrecision};
  const NativeResponse& ad = bid.native;
  NativeAssets assets{ad.title,        ad.description, ad.sponsoredBy,
                      ad.callToAction, std::nullopt,   std::nullopt};
  if (pictures.icon) assets.icon = NativeImageSource{false, ad.icon->url, pictures.icon};
  if (pictures.mainImage) {
    assets.media = NativeImageSource{false, ad.mainImage->url, pictures.mainImage};
  }
  script.native = std::move(assets);
  script.clickUrl = ad.clickUrl;
  // A real ad stays until the player closes it; with no screen to tap it closes at once.
  script.closedByPlayer = true;
  if (format == "interstitial" || format == "rewarded" || format == "appOpen") {
    script.expiresAfterMs = bid.expSeconds * 1000;
  }
  if (format == "rewarded") script.countdownMs = kRewardedCountdownSeconds * 1000;
  script.notices = std::move(notices);
  return script;
}

}  // namespace tilo::mediation::demand
