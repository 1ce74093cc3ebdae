// An exchange's answer to one bid request, read as hostile input: the winning bid with its
// Native 1.2 ad, or no bid, or why the answer cannot be used.
//
//   BidExpectation expected{requestId, NativeRequestShape::forFormat("native", std::nullopt)};
//   BidDecoding answer = BidResponseDecoder::decode(body, expected);
//   if (answer.outcome == BidDecoding::Outcome::invalid) fail(answer.problem);
//
// Caps: kMaxBodyBytes of body, kMaxKeys object keys, kMaxBids bids, kMaxAssets assets,
// kMaxTrackers per tracker list, kMaxUrlLength per URL. The response id must be the
// request's, every bid's impid the impression's, its price a number above 0 and at most
// kMaxPrice, its currency one asked for, its adm a Native response (bare or inside
// "native") with every required asset, and every URL http(s) in printable ASCII. Texts
// lose their control characters and are cut to the length asked for. Fields Tilo does
// not read are ignored. Event trackers other than impression pixels are skipped.
// Nothing thrown leaves decode().
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mediation/demand/BidRequestBuilder.h"
#include "platform/Decimal.h"

namespace tilo::mediation::demand {

struct BidExpectation {
  std::string requestId;
  NativeRequestShape shape;
  std::string impId = "1";
  std::string currency = "USD";
};

struct NativeImage {
  std::string url;
  int width = 0, height = 0;  // as the answer says; 0 when it does not
};

struct NativeResponse {
  std::optional<std::string> title, description, callToAction, sponsoredBy;
  std::optional<NativeImage> mainImage, icon;
  std::string clickUrl;
  std::vector<std::string> clickTrackers;       // each URL once
  std::vector<std::string> impressionTrackers;  // imptrackers and image event trackers, once each
};

struct WinningBid {
  std::string bidId;
  std::string impId;
  std::optional<std::string> seat;
  platform::Decimal price;  // CPM in `currency`
  std::string currency;
  std::optional<std::string> nurl, burl, lurl;
  std::optional<std::string> adId, creativeId, campaignId;
  std::vector<std::string> advertiserDomains;
  double expSeconds = 3600;
  NativeResponse native;
};

struct BidDecoding {
  enum class Outcome { bid, noBid, invalid };
  Outcome outcome = Outcome::invalid;
  std::optional<WinningBid> bid;
  std::string problem;  // for invalid: what is wrong, naming the field
};

class BidResponseDecoder {
 public:
  static constexpr std::size_t kMaxBodyBytes = 256 * 1024;
  static constexpr std::size_t kMaxKeys = 4096;
  static constexpr std::size_t kMaxBids = 16;
  static constexpr std::size_t kMaxAssets = 32;
  static constexpr std::size_t kMaxTrackers = 16;
  static constexpr std::size_t kMaxUrlLength = 2048;
  static constexpr std::size_t kMaxIdLength = 128;
  static constexpr double kMaxPrice = 10'000;  // CPM: far above any real bid
  static constexpr double kDefaultExpSeconds = 3600;
  static constexpr double kMaxExpSeconds = 86'400;

  static BidDecoding decode(std::string_view body, const BidExpectation& expected);
  // http(s), printable ASCII, a host, at most kMaxUrlLength.
  static bool isUsableUrl(std::string_view url);
};

}  // namespace tilo::mediation::demand
