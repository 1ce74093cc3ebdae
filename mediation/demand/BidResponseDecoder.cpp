#include "mediation/demand/BidResponseDecoder.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "platform/Json.h"
#include "platform/Url.h"

namespace tilo::mediation::demand {
namespace {

using platform::ParsedJson;

// A problem with the answer, naming the field; caught at decode()'s edge.
struct Invalid {
  std::string problem;
};

[[noreturn]] void invalid(std::string problem) {
  throw Invalid{std::move(problem)};
}

const ParsedJson* member(const ParsedJson& object, const char* key) {
  if (!object.is_object()) return nullptr;
  const auto found = object.find(key);
  return found == object.end() || found->is_null() ? nullptr : &*found;
}

const ParsedJson& array(const ParsedJson& value, std::size_t limit, const std::string& path) {
  if (!value.is_array()) invalid(path + " is not an array");
  if (value.size() > limit) {
    invalid(path + " has " + std::to_string(value.size()) + " entries; at most " +
            std::to_string(limit) + " are read");
  }
  return value;
}

// An identifier: printable ASCII, not empty, not longer than kMaxIdLength.
std::string identifier(const ParsedJson* value, const std::string& path) {
  if (!value || !value->is_string()) invalid(path + " is missing or not a string");
  const auto& text = value->get_ref<const std::string&>();
  const bool printable = std::all_of(text.begin(), text.end(), [](char c) {
    return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F;
  });
  if (text.empty() || text.size() > BidResponseDecoder::kMaxIdLength || !printable) {
    invalid(path + " is not an identifier (printable ASCII, 1 to " +
            std::to_string(BidResponseDecoder::kMaxIdLength) + " characters)");
  }
  return text;
}

std::optional<std::string> optionalIdentifier(const ParsedJson& object, const char* key,
                                              const std::string& path) {
  const ParsedJson* value = member(object, key);
  if (!value) return std::nullopt;
  return identifier(value, path + "." + key);
}

std::string url(const ParsedJson* value, const std::string& path) {
  if (!value || !value->is_string()) invalid(path + " is missing or not a string");
  const auto& text = value->get_ref<const std::string&>();
  if (!BidResponseDecoder::isUsableUrl(text)) {
    invalid(path + " is not an http(s) URL in printable ASCII of at most " +
            std::to_string(BidResponseDecoder::kMaxUrlLength) + " characters");
  }
  return text;
}

std::optional<std::string> optionalUrl(const ParsedJson& object, const char* key,
                                       const std::string& path) {
  const ParsedJson* value = member(object, key);
  if (!value) return std::nullopt;
  return url(value, path + "." + key);
}

void addOnce(std::vector<std::string>& list, std::string entry) {
  if (std::find(list.begin(), list.end(), entry) == list.end()) list.push_back(std::move(entry));
}

// Control characters become spaces; the text is trimmed and cut to `length` characters.
// Empty: absent.
std::optional<std::string> text(const ParsedJson* value, int length, const std::string& path) {
  if (!value) return std::nullopt;
  if (!value->is_string()) invalid(path + " is not a string");
  std::string out;
  int characters = 0;
  for (const char c : value->get_ref<const std::string&>()) {
    const auto byte = static_cast<unsigned char>(c);
    const bool starts = (byte & 0xC0) != 0x80;  // not a UTF-8 continuation byte
    if (starts && ++characters > length) break;
    out += byte < 0x20 || byte == 0x7F ? ' ' : c;
  }
  const auto first = out.find_first_not_of(' ');
  if (first == std::string::npos) return std::nullopt;
  return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

std::optional<int> dimension(const ParsedJson& object, const char* key) {
  const ParsedJson* value = member(object, key);
  if (!value || !value->is_number_integer()) return std::nullopt;
  const auto number = value->get<std::int64_t>();
  return number > 0 && number <= 100'000 ? std::optional(static_cast<int>(number)) : std::nullopt;
}

NativeResponse nativeResponse(const ParsedJson& adm, const BidExpectation& expected,
                              const std::string& path) {
  const ParsedJson* native = member(adm, "native");
  const ParsedJson& root = native && native->is_object() ? *native : adm;
  const ParsedJson* assets = member(root, "assets");
  if (!assets) invalid(path + " has no native assets");
  NativeResponse ad;
  const NativeRequestShape& shape = expected.shape;
  for (std::size_t i = 0;
       i < array(*assets, BidResponseDecoder::kMaxAssets, path + ".assets").size(); ++i) {
    const ParsedJson& asset = (*assets)[i];
    const std::string at = path + ".assets[" + std::to_string(i) + "]";
    const ParsedJson* id = member(asset, "id");
    if (!id || !id->is_number_integer()) invalid(at + ".id is missing or not an integer");
    const ParsedJson* title = member(asset, "title");
    const ParsedJson* img = member(asset, "img");
    const ParsedJson* data = member(asset, "data");
    switch (static_cast<NativeAssetId>(id->get<std::int64_t>())) {
      case NativeAssetId::title:
        if (title)
          ad.title =
              text(member(*title, "text"), NativeRequestShape::kTitleLength, at + ".title.text");
        break;
      case NativeAssetId::mainImage:
      case NativeAssetId::icon: {
        if (!img) break;
        const bool icon = id->get<std::int64_t>() == static_cast<int>(NativeAssetId::icon);
        (icon ? ad.icon : ad.mainImage) =
            NativeImage{url(member(*img, "url"), at + ".img.url"), dimension(*img, "w").value_or(0),
                        dimension(*img, "h").value_or(0)};
        break;
      }
      case NativeAssetId::description:
        if (data) {
          ad.description = text(member(*data, "value"), NativeRequestShape::kDescriptionLength,
                                at + ".data.value");
        }
        break;
      case NativeAssetId::callToAction:
        if (data) {
          ad.callToAction = text(member(*data, "value"), NativeRequestShape::kCallToActionLength,
                                 at + ".data.value");
        }
        break;
      case NativeAssetId::sponsoredBy:
        if (data) {
          ad.sponsoredBy = text(member(*data, "value"), NativeRequestShape::kSponsoredByLength,
                                at + ".data.value");
        }
        break;
      default:
        break;  // an asset this request did not ask for
    }
  }
  if (!ad.title) invalid(path + " misses the required asset title");
  if (shape.mainImageRequired && !ad.mainImage) {
    invalid(path + " misses the required asset main image");
  }

  const ParsedJson* link = member(root, "link");
  if (!link || !link->is_object()) invalid(path + ".link is missing");
  ad.clickUrl = url(member(*link, "url"), path + ".link.url");
  if (const ParsedJson* trackers = member(*link, "clicktrackers")) {
    const auto& list =
        array(*trackers, BidResponseDecoder::kMaxTrackers, path + ".link.clicktrackers");
    for (std::size_t i = 0; i < list.size(); ++i) {
      addOnce(ad.clickTrackers,
              url(&list[i], path + ".link.clicktrackers[" + std::to_string(i) + "]"));
    }
  }
  if (const ParsedJson* trackers = member(root, "imptrackers")) {
    const auto& list = array(*trackers, BidResponseDecoder::kMaxTrackers, path + ".imptrackers");
    for (std::size_t i = 0; i < list.size(); ++i) {
      addOnce(ad.impressionTrackers,
              url(&list[i], path + ".imptrackers[" + std::to_string(i) + "]"));
    }
  }
  if (const ParsedJson* trackers = member(root, "eventtrackers")) {
    const auto& list = array(*trackers, BidResponseDecoder::kMaxTrackers, path + ".eventtrackers");
    for (std::size_t i = 0; i < list.size(); ++i) {
      const ParsedJson* event = member(list[i], "event");
      const ParsedJson* method = member(list[i], "method");
      // Impression pixels only: scripts (method 2) are not run here, other events not kept.
      if (!event || !method || *event != 1 || *method != 1) continue;
      addOnce(ad.impressionTrackers,
              url(member(list[i], "url"), path + ".eventtrackers[" + std::to_string(i) + "].url"));
    }
  }
  return ad;
}

WinningBid decodeBid(const ParsedJson& bid, const std::optional<std::string>& seat,
                     const std::string& currency, const BidExpectation& expected,
                     const std::string& path) {
  if (!bid.is_object()) invalid(path + " is not an object");
  WinningBid out;
  out.bidId = identifier(member(bid, "id"), path + ".id");
  out.impId = identifier(member(bid, "impid"), path + ".impid");
  if (out.impId != expected.impId) invalid(path + ".impid names no impression of the request");
  const ParsedJson* price = member(bid, "price");
  // 1e999 arrives as the text of the number: not a number here.
  if (!price || !price->is_number() || !std::isfinite(price->get<double>()) ||
      price->get<double>() <= 0 || price->get<double>() > BidResponseDecoder::kMaxPrice) {
    invalid(path + ".price is not a number above 0 and at most " +
            std::to_string(static_cast<int>(BidResponseDecoder::kMaxPrice)));
  }
  out.price = price->is_number_integer() ? platform::Decimal(price->get<std::int64_t>())
                                         : platform::Decimal::fromDouble(price->get<double>());
  out.currency = currency;
  out.seat = seat;
  out.nurl = optionalUrl(bid, "nurl", path);
  out.burl = optionalUrl(bid, "burl", path);
  out.lurl = optionalUrl(bid, "lurl", path);
  out.adId = optionalIdentifier(bid, "adid", path);
  out.creativeId = optionalIdentifier(bid, "crid", path);
  out.campaignId = optionalIdentifier(bid, "cid", path);
  if (const ParsedJson* domains = member(bid, "adomain")) {
    const auto& list = array(*domains, 8, path + ".adomain");
    for (std::size_t i = 0; i < list.size(); ++i) {
      out.advertiserDomains.push_back(
          identifier(&list[i], path + ".adomain[" + std::to_string(i) + "]"));
    }
  }
  if (const ParsedJson* exp = member(bid, "exp");
      exp && exp->is_number() && std::isfinite(exp->get<double>()) && exp->get<double>() > 0) {
    out.expSeconds = std::min(exp->get<double>(), BidResponseDecoder::kMaxExpSeconds);
  }
  const ParsedJson* adm = member(bid, "adm");
  if (!adm || !adm->is_string()) {
    invalid(path + ".adm is missing: only ads carried in the answer are shown");
  }
  ParsedJson markup;
  try {
    markup = platform::parseJson(adm->get_ref<const std::string&>(), BidResponseDecoder::kMaxKeys);
  } catch (const platform::DecodingError&) {
    invalid(path + ".adm is not a native response (HTML and script creatives are not drawn)");
  }
  if (!markup.is_object()) invalid(path + ".adm is not a native response");
  out.native = nativeResponse(markup, expected, path + ".adm");
  return out;
}

BidDecoding decodeResponse(std::string_view body, const BidExpectation& expected) {
  if (body.size() > BidResponseDecoder::kMaxBodyBytes) {
    invalid("the answer is larger than " + std::to_string(BidResponseDecoder::kMaxBodyBytes) +
            " bytes");
  }
  ParsedJson root;
  try {
    root = platform::parseJson(body, BidResponseDecoder::kMaxKeys);
  } catch (const platform::DecodingError& error) {
    invalid(std::string("the answer is not JSON: ") + error.what());
  }
  if (!root.is_object()) invalid("the answer is not a JSON object");
  if (identifier(member(root, "id"), "id") != expected.requestId) {
    invalid("id is not the request's");
  }
  std::string currency = expected.currency;
  if (const ParsedJson* cur = member(root, "cur")) {
    if (!cur->is_string() || cur->get_ref<const std::string&>() != expected.currency) {
      invalid("cur is not the currency asked for (" + expected.currency + ")");
    }
  }
  BidDecoding result;
  result.outcome = BidDecoding::Outcome::noBid;
  const ParsedJson* seatbids = member(root, "seatbid");
  if (!seatbids) return result;
  std::size_t bids = 0;
  const auto& seats = array(*seatbids, BidResponseDecoder::kMaxBids, "seatbid");
  for (std::size_t s = 0; s < seats.size(); ++s) {
    const std::string at = "seatbid[" + std::to_string(s) + "]";
    const ParsedJson* list = member(seats[s], "bid");
    if (!list) continue;
    const auto& entries = array(*list, BidResponseDecoder::kMaxBids, at + ".bid");
    bids += entries.size();
    if (bids > BidResponseDecoder::kMaxBids) {
      invalid("the answer has more than " + std::to_string(BidResponseDecoder::kMaxBids) + " bids");
    }
    const auto seat = optionalIdentifier(seats[s], "seat", at);
    for (std::size_t b = 0; b < entries.size(); ++b) {
      WinningBid bid =
          decodeBid(entries[b], seat, currency, expected, at + ".bid[" + std::to_string(b) + "]");
      // First price: the highest bid wins; the first of equal ones.
      if (!result.bid || bid.price > result.bid->price) result.bid = std::move(bid);
    }
  }
  if (result.bid) result.outcome = BidDecoding::Outcome::bid;
  return result;
}

}  // namespace

bool BidResponseDecoder::isUsableUrl(std::string_view text) {
  return text.size() <= kMaxUrlLength && platform::Url::parse(text).has_value();
}

BidDecoding BidResponseDecoder::decode(std::string_view body, const BidExpectation& expected) {
  try {
    return decodeResponse(body, expected);
  } catch (const Invalid& error) {
    return BidDecoding{BidDecoding::Outcome::invalid, std::nullopt, error.problem};
  } catch (const std::exception& error) {
    // The JSON library's own refusals (a number of the wrong kind, say).
    return BidDecoding{BidDecoding::Outcome::invalid, std::nullopt,
                       std::string("the answer cannot be read: ") + error.what()};
  }
}

}  // namespace tilo::mediation::demand
