// One OpenRTB 2.6 bid request: one impression asking for a Native 1.2 ad of the assets the
// format draws, with the application, the device and the host's privacy choices.
//
//   BidRequestFacts facts = ...;                  // gathered on the main thread
//   std::string body = BidRequestBuilder::build(facts);
//   NativeRequestShape shape = NativeRequestShape::forFormat("banner", std::pair{320, 50});
//
// Absent facts and privacy choices are left out, never sent as empty values. No
// advertising identifier is sent.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "mediation/demand/PrivacySignals.h"

namespace tilo::mediation::demand {

// The ids of the Native request's assets, which the answer's assets name.
enum class NativeAssetId : int {
  title = 1,
  mainImage = 2,
  icon = 3,
  description = 4,
  callToAction = 5,
  sponsoredBy = 6,
};

// What one format asks for.
struct NativeRequestShape {
  int context = 1;    // 1 content, 2 social (feeds)
  int placement = 1;  // plcmttype: 1 in feed, 2 atomic unit, 3 outside the content
  bool mainImage = true;
  bool mainImageRequired = true;
  int imageWidth = 0, imageHeight = 0;  // the format's own size (banners), else 0
  int imageMinWidth = 0, imageMinHeight = 0;
  // Longest texts asked for, in characters.
  static constexpr int kTitleLength = 90;
  static constexpr int kDescriptionLength = 140;
  static constexpr int kCallToActionLength = 15;
  static constexpr int kSponsoredByLength = 25;

  static NativeRequestShape forFormat(const std::string& format,
                                      std::optional<std::pair<int, int>> adSize);
  // The Native 1.2 request, as the text imp.native.request carries. Made once per shape:
  // a handful of shapes serve every load.
  std::string requestJson() const;

  bool operator==(const NativeRequestShape&) const = default;

 private:
  std::string writeRequestJson() const;
};

struct BidRequestFacts {
  std::string requestId;
  std::string adUnitId;
  std::string format;
  std::optional<std::pair<int, int>> adSize;
  bool secure = true;
  int tmaxMs = 1500;
  // app
  std::optional<std::string> bundle, appName, appVersion, storeUrl;
  // device
  std::string userAgent;
  std::string osVersion;
  std::optional<int> screenWidth, screenHeight;  // pixels
  std::optional<double> pixelRatio;
  std::optional<std::string> language;  // ISO 639-1
  PrivacyChoices privacy;
};

class BidRequestBuilder {
 public:
  static std::string build(const BidRequestFacts& facts);
};

}  // namespace tilo::mediation::demand
