// A winning bid as the ad the platform shows: its Native assets become the creative every
// format draws (title as headline, description as body, sponsored-by as advertiser, call to
// action, icon, main image as media), its link the click's destination, price ÷ 1000 the
// paid value of the impression (precision "precise", in the bid's currency), its seat the
// network the response names, and its exp how long a full-screen ad stays ready.
//
//   AdScript ad = BidCreative::script(bid, pictures, "rewarded", latency, notices);
#pragma once

#include <memory>
#include <string>

#include "mediation/AdSource.h"
#include "mediation/demand/BidNotices.h"
#include "mediation/demand/BidResponseDecoder.h"
#include "platform/ui/UIImage.h"

namespace tilo::mediation::demand {

struct BidPictures {
  std::shared_ptr<platform::UIImage> mainImage, icon;
};

class BidCreative {
 public:
  // Seconds a rewarded ad plays before it grants its reward and shows its close button.
  static constexpr double kRewardedCountdownSeconds = 5;
  // The precision of a price the exchange cleared: exact.
  static constexpr int kPrecisePrecision = 3;

  static AdScript script(const WinningBid& bid, const BidPictures& pictures,
                         const std::string& format, double latencySeconds,
                         std::shared_ptr<BidNotices> notices);
};

}  // namespace tilo::mediation::demand
