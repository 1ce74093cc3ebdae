// What the backend's "/sdk/init" answers: the application's ad units, its fee rate and
// the SDK switches. The same JSON (without "sdkConfig") is the ad-unit cache.
//
//   TiloAppInfo info = TiloAppInfo::decode(platform::parseJson(body));   // DecodingError
//   for (const TiloAdUnitItem& item : info.adUnits) item.feeRate;         // == info.feeRate
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/Decimal.h"
#include "platform/Json.h"

namespace tilo {

// A decoding error that says where: summary() is "<JSON path>: <reason>", for example
// "adUnits[2].type: expected a string, found number 7", which is what an integrator
// looking at the backend's answer needs.
class AppInfoDecodingError : public platform::DecodingError {
 public:
  AppInfoDecodingError(Kind kind, std::string path, std::string reason);
  const std::string& summary() const { return summary_; }

 private:
  std::string summary_;
};

// Switches the backend sends; also the content of "sdkConfig.json".
struct SdkConfig {
  bool enableMarkerCheckpoints = false;

  static SdkConfig decode(const platform::ParsedJson& json);
  platform::Json encode() const;
  bool operator==(const SdkConfig&) const = default;
};

// The backend's record of one ad unit.
struct TiloAdUnitItem {
  std::string tiloAdUnitId;
  std::string mediationAdUnitId;  // the unit on the mediation platform
  std::string name;
  std::string type;                          // the format as the backend names it
  double refreshInterval = 30.0;             // seconds; missing, null or undecodable gives 30
  std::optional<platform::Decimal> feeRate;  // copied from the enclosing TiloAppInfo

  // Throws AppInfoDecodingError naming `path` (where the item sits in its document).
  static TiloAdUnitItem decode(const platform::ParsedJson& json, const std::string& path);
  // Never writes feeRate.
  platform::Json encode() const;
  bool operator==(const TiloAdUnitItem&) const = default;
};

struct TiloAppInfo {
  // More ad units than any application has: an answer or a cache with more is refused,
  // since every unit costs a search on each load and room in the cache.
  static constexpr std::size_t kMaxAdUnits = 1000;

  std::vector<TiloAdUnitItem> adUnits;
  platform::Decimal feeRate;
  std::optional<SdkConfig> sdkConfig;  // lenient: anything malformed leaves it empty

  // Reads "feeRate", then "adUnits" (at most kMaxAdUnits), then "sdkConfig". Throws
  // AppInfoDecodingError.
  static TiloAppInfo decode(const platform::ParsedJson& json);
  // "adUnits" and "feeRate" only.
  platform::Json encode() const;
  // The first unit with this tiloAdUnitId.
  const TiloAdUnitItem* item(const std::string& tiloAdUnitId) const;
  bool operator==(const TiloAppInfo&) const = default;
};

}  // namespace tilo
