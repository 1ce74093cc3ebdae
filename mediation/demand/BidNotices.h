// The notices and trackers of one taken bid, each fired at most once through the
// TrackerClient, with the auction macros substituted:
//
//   taken()       the win notice (nurl)
//   impression()  the billing notice (burl) and every impression tracker
//   click()       every click tracker (the first click only)
//   expired()     the loss notice (lurl), ${AUCTION_LOSS} = 2, unless it was shown
//   destruction   the loss notice too, when the bid was taken and never shown (released)
//
// Macros: ${AUCTION_ID} (the request's id), ${AUCTION_BID_ID}, ${AUCTION_IMP_ID},
// ${AUCTION_SEAT_ID}, ${AUCTION_AD_ID}, ${AUCTION_PRICE} (the clearing price, CPM),
// ${AUCTION_CURRENCY} and, in the loss notice, ${AUCTION_LOSS}. Values are percent-encoded;
// any other ${...} is left as it stands. Any thread.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mediation/demand/TrackerClient.h"

namespace tilo::mediation::demand {

struct WinningBid;

class BidNotices {
 public:
  // Loss reason of a taken bid that was never shown: its impression opportunity expired.
  static constexpr int kLossExpired = 2;

  BidNotices(const WinningBid& bid, const std::string& requestId,
             std::shared_ptr<TrackerClient> client = TrackerClient::shared());
  ~BidNotices();
  BidNotices(const BidNotices&) = delete;
  BidNotices& operator=(const BidNotices&) = delete;

  void taken();
  void impression();
  void click();
  void expired();

  // `url` with the known macros of `values` replaced (keys without "${" and "}").
  static std::string substitute(std::string_view url,
                                const std::map<std::string, std::string, std::less<>>& values);

 private:
  void fire(const std::optional<std::string>& url);
  void lost();

  std::shared_ptr<TrackerClient> client_;
  std::map<std::string, std::string, std::less<>> macros_;
  std::optional<std::string> nurl_, burl_, lurl_;
  std::vector<std::string> impressionTrackers_, clickTrackers_;
  mutable std::mutex mutex_;
  bool taken_ = false, shown_ = false, clicked_ = false, lost_ = false;
};

}  // namespace tilo::mediation::demand
