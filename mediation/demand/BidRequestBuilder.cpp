#include "mediation/demand/BidRequestBuilder.h"

#include <mutex>
#include <utility>
#include <vector>

#include "platform/Json.h"

namespace tilo::mediation::demand {
namespace {

using platform::Json;

bool isFullScreen(const std::string& format) {
  return format == "interstitial" || format == "rewarded" || format == "appOpen";
}

Json asset(NativeAssetId id, bool required, const char* kind, Json value) {
  return Json{
      {"id", static_cast<int>(id)}, {"required", required ? 1 : 0}, {kind, std::move(value)}};
}

}  // namespace

NativeRequestShape NativeRequestShape::forFormat(const std::string& format,
                                                 std::optional<std::pair<int, int>> adSize) {
  NativeRequestShape shape;
  if (isFullScreen(format)) {
    shape.placement = 3;
    shape.imageMinWidth = 600;  // a phone's width at two pixels a point, 1.91:1
    shape.imageMinHeight = 314;
  } else if (format == "banner") {
    const auto [width, height] = adSize.value_or(std::pair{320, 50});
    shape.placement = 2;
    shape.imageWidth = width;
    shape.imageHeight = height;
    // A strip too low for a picture draws icon, title and call to action; an MREC draws
    // its picture above them.
    shape.mainImageRequired = height >= 120;
    shape.imageMinWidth = width;
    shape.imageMinHeight = shape.mainImageRequired ? width * 314 / 600 : height;
  } else {
    shape.context = 2;
    shape.imageMinWidth = 300;
    shape.imageMinHeight = 157;
  }
  return shape;
}

std::string NativeRequestShape::requestJson() const {
  static std::mutex mutex;
  static std::vector<std::pair<NativeRequestShape, std::string>> made;
  constexpr std::size_t kShapesKept = 16;  // formats times banner sizes; more is a host's oddity
  std::lock_guard lock(mutex);
  for (const auto& [shape, text] : made) {
    if (shape == *this) return text;
  }
  if (made.size() == kShapesKept) made.erase(made.begin());
  return made.emplace_back(*this, writeRequestJson()).second;
}

std::string NativeRequestShape::writeRequestJson() const {
  Json image{{"type", 3}};
  if (imageWidth > 0) {
    image["w"] = imageWidth;
    image["h"] = imageHeight;
  }
  image["wmin"] = imageMinWidth;
  image["hmin"] = imageMinHeight;
  Json assets = Json::array();
  assets.push_back(asset(NativeAssetId::title, true, "title", Json{{"len", kTitleLength}}));
  if (mainImage) {
    assets.push_back(asset(NativeAssetId::mainImage, mainImageRequired, "img", std::move(image)));
  }
  assets.push_back(
      asset(NativeAssetId::icon, false, "img", Json{{"type", 1}, {"wmin", 50}, {"hmin", 50}}));
  assets.push_back(asset(NativeAssetId::description, false, "data",
                         Json{{"type", 2}, {"len", kDescriptionLength}}));
  assets.push_back(asset(NativeAssetId::callToAction, false, "data",
                         Json{{"type", 12}, {"len", kCallToActionLength}}));
  assets.push_back(asset(NativeAssetId::sponsoredBy, false, "data",
                         Json{{"type", 1}, {"len", kSponsoredByLength}}));
  return platform::dumpCompact(
      Json{{"ver", "1.2"},
           {"context", context},
           {"plcmttype", placement},
           {"assets", std::move(assets)},
           {"eventtrackers", Json::array({{{"event", 1}, {"methods", {1}}}})},
           {"privacy", 1}});
}

std::string BidRequestBuilder::build(const BidRequestFacts& facts) {
  const NativeRequestShape shape = NativeRequestShape::forFormat(facts.format, facts.adSize);
  Json imp{{"id", "1"},
           {"tagid", facts.adUnitId},
           {"instl", isFullScreen(facts.format) ? 1 : 0},
           {"rwdd", facts.format == "rewarded" ? 1 : 0},
           {"secure", facts.secure ? 1 : 0},
           {"native", Json{{"request", shape.requestJson()}, {"ver", "1.2"}}}};

  Json app = Json::object();
  auto put = [](Json& object, const char* key, const auto& value) {
    if (value) object[key] = *value;
  };
  put(app, "bundle", facts.bundle);
  put(app, "name", facts.appName);
  put(app, "ver", facts.appVersion);
  put(app, "storeurl", facts.storeUrl);

  // Not authorized (or not asked yet) limits tracking: the host has no consent to track.
  const int limited = facts.privacy.trackingAuthorized.value_or(false) ? 0 : 1;
  Json device{{"ua", facts.userAgent},
              {"os", "Linux"},
              {"osv", facts.osVersion},
              {"devicetype", 2}};  // personal computer
  put(device, "w", facts.screenWidth);
  put(device, "h", facts.screenHeight);
  put(device, "pxratio", facts.pixelRatio);
  put(device, "language", facts.language);
  device["lmt"] = limited;
  device["dnt"] = limited;

  Json request{{"id", facts.requestId}, {"imp", Json::array({std::move(imp)})}};
  request["app"] = std::move(app);
  request["device"] = std::move(device);
  Json regs = Json::object();
  if (facts.privacy.childDirected) regs["coppa"] = *facts.privacy.childDirected ? 1 : 0;
  if (facts.privacy.gdprConsentString) regs["gdpr"] = 1;
  put(regs, "us_privacy", facts.privacy.usPrivacyString);
  if (!regs.empty()) request["regs"] = std::move(regs);
  if (facts.privacy.gdprConsentString) {
    request["user"] = Json{{"consent", *facts.privacy.gdprConsentString}};
  }
  request["tmax"] = facts.tmaxMs;
  request["cur"] = Json::array({"USD"});
  request["at"] = 1;
  return platform::dumpCompact(request);
}

}  // namespace tilo::mediation::demand
