// An exchange's answer to a bid request, as the demand source reads it: whatever the
// bytes, decode() returns (nothing escapes, nothing hangs), and a bid it accepts keeps
// the promises the SDK builds on: the request's ids, a price in range, a title, the
// main image an interstitial requires, http(s) URLs within their cap, and texts without
// control characters and no longer than asked.
#include <cmath>

#include "fuzz/support/FuzzSupport.h"
#include "mediation/demand/BidResponseDecoder.h"

namespace {

using tilo::fuzz::check;
using namespace tilo::mediation::demand;

void checkText(const std::optional<std::string>& text, int length) {
  if (!text) return;
  check(!text->empty());
  int characters = 0;
  for (const char c : *text) {
    const auto byte = static_cast<unsigned char>(c);
    check(byte >= 0x20 && byte != 0x7F);
    if ((byte & 0xC0) != 0x80) ++characters;
  }
  check(characters <= length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const BidExpectation expected{"req-1",
                                       NativeRequestShape::forFormat("interstitial", std::nullopt)};
  const BidDecoding decoded = BidResponseDecoder::decode(tilo::fuzz::textOf(data, size), expected);
  using Outcome = BidDecoding::Outcome;
  check(decoded.bid.has_value() == (decoded.outcome == Outcome::bid));
  check((decoded.outcome == Outcome::invalid) == !decoded.problem.empty());
  if (!decoded.bid) return 0;
  const WinningBid& bid = *decoded.bid;
  check(bid.impId == "1" && !bid.bidId.empty() && bid.currency == "USD");
  const double price = bid.price.toDouble();
  check(price > 0 && price <= BidResponseDecoder::kMaxPrice);
  check(bid.expSeconds > 0 && bid.expSeconds <= BidResponseDecoder::kMaxExpSeconds);
  const NativeResponse& ad = bid.native;
  check(ad.title.has_value() && ad.mainImage.has_value());
  checkText(ad.title, NativeRequestShape::kTitleLength);
  checkText(ad.description, NativeRequestShape::kDescriptionLength);
  checkText(ad.callToAction, NativeRequestShape::kCallToActionLength);
  checkText(ad.sponsoredBy, NativeRequestShape::kSponsoredByLength);
  check(BidResponseDecoder::isUsableUrl(ad.clickUrl));
  check(BidResponseDecoder::isUsableUrl(ad.mainImage->url));
  if (ad.icon) check(BidResponseDecoder::isUsableUrl(ad.icon->url));
  for (const auto* list : {&ad.clickTrackers, &ad.impressionTrackers}) {
    check(list->size() <= 2 * BidResponseDecoder::kMaxTrackers);
    for (const auto& url : *list) check(BidResponseDecoder::isUsableUrl(url));
  }
  for (const auto* url : {&bid.nurl, &bid.burl, &bid.lurl}) {
    if (*url) check(BidResponseDecoder::isUsableUrl(**url));
  }
  return 0;
}
