#include "mediation/demand/BidNotices.h"

#include <cstdio>

#include "mediation/demand/BidResponseDecoder.h"

namespace tilo::mediation::demand {
namespace {

std::string percentEncoded(std::string_view text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
        (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' || c == '~') {
      out += c;
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", byte);
      out += hex;
    }
  }
  return out;
}

}  // namespace

BidNotices::BidNotices(const WinningBid& bid, const std::string& requestId,
                       std::shared_ptr<TrackerClient> client)
    : client_(std::move(client)),
      macros_{{"AUCTION_ID", requestId},
              {"AUCTION_BID_ID", bid.bidId},
              {"AUCTION_IMP_ID", bid.impId},
              {"AUCTION_SEAT_ID", bid.seat.value_or("")},
              {"AUCTION_AD_ID", bid.adId.value_or("")},
              {"AUCTION_PRICE", bid.price.description()},
              {"AUCTION_CURRENCY", bid.currency}},
      nurl_(bid.nurl),
      burl_(bid.burl),
      lurl_(bid.lurl),
      impressionTrackers_(bid.native.impressionTrackers),
      clickTrackers_(bid.native.clickTrackers) {}

BidNotices::~BidNotices() {
  lost();  // released before it was shown
}

std::string BidNotices::substitute(std::string_view url,
                                   const std::map<std::string, std::string, std::less<>>& values) {
  std::string out;
  for (std::size_t at = 0; at < url.size();) {
    const auto open = url.find("${", at);
    const auto close = open == std::string_view::npos ? open : url.find('}', open + 2);
    if (close == std::string_view::npos) {
      out += url.substr(at);
      break;
    }
    out += url.substr(at, open - at);
    const auto value = values.find(url.substr(open + 2, close - open - 2));
    out +=
        value != values.end() ? percentEncoded(value->second) : url.substr(open, close - open + 1);
    at = close + 1;
  }
  return out;
}

void BidNotices::fire(const std::optional<std::string>& url) {
  if (url) client_->fire(substitute(*url, macros_));
}

void BidNotices::taken() {
  {
    std::lock_guard lock(mutex_);
    if (taken_) return;
    taken_ = true;
  }
  fire(nurl_);
}

void BidNotices::impression() {
  {
    std::lock_guard lock(mutex_);
    if (shown_ || lost_) return;
    shown_ = true;
  }
  fire(burl_);
  for (const auto& tracker : impressionTrackers_) fire(tracker);
}

void BidNotices::click() {
  {
    std::lock_guard lock(mutex_);
    if (clicked_ || !shown_) return;
    clicked_ = true;
  }
  for (const auto& tracker : clickTrackers_) fire(tracker);
}

void BidNotices::expired() {
  lost();
}

void BidNotices::lost() {
  {
    std::lock_guard lock(mutex_);
    if (!taken_ || shown_ || lost_) return;
    lost_ = true;
  }
  if (!lurl_) return;
  auto values = macros_;
  values["AUCTION_LOSS"] = std::to_string(kLossExpired);
  client_->fire(substitute(*lurl_, values));
}

}  // namespace tilo::mediation::demand
