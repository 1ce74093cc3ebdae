// The scriptable ad source behind the mediation API: what each ad unit answers, how late,
// and what happens when its ad is shown.
//
//   AdSource::shared().loadScenario(parseJson(R"({"units": {"unit-1": {"result": "error",
//       "error": {"domain": "com.google.admob", "code": 1, "description": "No fill."}}}})"));
//   GADInterstitialAd::loadWithAdUnitID("unit-1", GADRequest::create(), completion);
//
// AdSource is the scripted side of the platform's demand (demand/DemandSource.h): it
// answers while the host has a scenario, and for hosts without an exchange.
//
// Unknown units answer with the "default" script. Unit scripts are laid over "default",
// field by field. Until a scenario is loaded, every unit follows the built-in test ads
// (useBuiltInTestAds); reset() leaves the plain scripted source that tests start from. The most
// recent loads are recorded (unit, format, extras) for tests and debug output, and every load is
// counted per unit; nothing grows with the number of loads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mediation/GADAdReward.h"
#include "mediation/GADAdValue.h"
#include "mediation/GADRequest.h"
#include "mediation/GADResponseInfo.h"
#include "mediation/NSError.h"
#include "mediation/demand/DemandSource.h"
#include "platform/Json.h"
#include "platform/ui/UIImage.h"

namespace tilo::mediation {

namespace demand {
class BidNotices;
}

// An image asset: drawn by the platform ("icon": true) or read from a PNG or JPEG file
// (a path; relative paths are relative to the scenario file's folder), decoded when the
// scenario loads.
struct NativeImageSource {
  bool generated = false;
  std::string path;
  std::shared_ptr<platform::UIImage> image;  // the decoded file

  bool operator==(const NativeImageSource&) const = default;
};

// A native ad's assets; a key missing from the scenario is an absent asset.
struct NativeAssets {
  std::optional<std::string> headline, body, advertiser, callToAction;
  std::optional<NativeImageSource> icon, media;
};

// One unit's behaviour. Scenario keys in parentheses.
struct AdScript {
  bool fill = true;  // ("result": "fill" | "error")
  NSError error{kGADErrorDomain, GADErrorNoFill, "Request Error: No ad to show."};
  double delayMs = 0;
  std::optional<std::string> network = "AdMob";  // null: the response names no network
  std::vector<double> latencies;                 // seconds per network entry
  std::optional<GADAdValue> revenue;             // paid after the impression
  std::optional<GADAdReward> reward = GADAdReward{platform::Decimal(1), "reward"};
  bool click = false;
  double dismissAfterMs = 0;
  std::optional<NSError> presentError;
  std::optional<double> expiresAfterMs;  // absent: never expires
  std::optional<std::pair<int, int>> adSize;
  std::optional<NativeAssets> native;
  std::optional<std::string> clickUrl;  // where a click leads (TestCreatives)
  double countdownMs = 0;               // a rewarded ad's countdown to its reward
  bool waitsForClose = false;           // ("dismissAfterMs": null) only a tap closes it
  bool testCreatives = false;           // ("testCreatives") native ads show the built-in creative
  // The built-in test ads: drawn, only the player's tap closes it; with nothing drawn (no
  // window to present in) nothing could be tapped, so it closes by itself.
  bool closedByPlayer = false;
  // A real bid's notices and trackers (fired on the impression and the click, its loss
  // notice when it goes unshown); null for scripted ads.
  std::shared_ptr<demand::BidNotices> notices;

  // The response of a fill: one entry per latency, the last one naming `network`.
  GADResponseInfo responseInfo() const;
};

struct LoadRecord {
  std::string format;  // "interstitial", "appOpen", "rewarded", ...
  std::string adUnitId;
  std::vector<std::string> extras;  // class name and description of each extras object

  bool operator==(const LoadRecord&) const = default;
};

class AdSource final : public demand::DemandSource {
 public:
  static AdSource& shared();

  // Says why a scenario's unit keys cannot be taken, or nothing when they can.
  using UnitCheck = std::function<std::optional<std::string>(const std::vector<std::string>&)>;

  // Replaces the scenario; on bad input returns why ("<JSON path>: <reason>", for example
  // "units.u.latencies[1]: expected a finite number >= 0", or "units.u.delay: unknown key
  // ..." for a key no script has) and keeps the previous one. Relative image paths in the
  // scenario are taken from `baseDirectory`. `checkUnits`, when given, sees the keys of
  // "units" before anything changes and may refuse them.
  std::optional<std::string> loadScenario(const platform::Json& scenario,
                                          const std::string& baseDirectory = {},
                                          const UnitCheck& checkUnits = {});
  // The same from JSON text, which is refused beyond kMaxScenarioBytes or kMaxScenarioKeys.
  std::optional<std::string> loadScenarioText(std::string_view text,
                                              const std::string& baseDirectory = {},
                                              const UnitCheck& checkUnits = {});
  std::optional<std::string> loadScenarioFile(const std::string& path,
                                              const UnitCheck& checkUnits = {});
  // The keys of "units" of the scenario in force.
  std::vector<std::string> unitIds() const;

  // A scenario names a few dozen units at most; these leave room and bound the work.
  static constexpr std::size_t kMaxScenarioBytes = 1024 * 1024;
  static constexpr std::size_t kMaxScenarioKeys = 10'000;
  // Whether a scenario was loaded since the last reset or useBuiltInTestAds: the host's
  // test scenario, which wins over an exchange.
  bool hasScenario() const;
  // Every unit fills at once, GADMobileAds starts ready, the load records are cleared.
  void reset();
  // The same scenario as reset(), keeping the load records.
  void resetScenario();
  // What the source does until a scenario is loaded: reset, then every unit fills with
  // the built-in test creatives and pays a test revenue (TestCreatives::builtInScript).
  void useBuiltInTestAds();

  // What answers now, in a few words: "built-in test ads", "plain test source" or
  // "scenario: default fill, 2 units scripted".
  std::string describeScenario() const;

  AdScript scriptFor(const std::string& adUnitId) const;
  // Adapter class name -> ready, from "start" ({"GADMobileAds": "ready"} by default).
  std::map<std::string, bool> startStates() const;

  // Records the request, then hands the unit's script (as it stands now) to `deliver` on
  // the main executor once its delay has passed on the environment clock.
  void load(std::string_view format, const std::string& adUnitId,
            const std::shared_ptr<GADRequest>& request,
            std::function<void(const AdScript&)> deliver);
  void load(const demand::DemandRequest& request, demand::DemandDelivery deliver) override;

  // How many load records are kept: older ones are dropped, so that a long session (a
  // banner refreshing for days) does not grow with its loads.
  static constexpr std::size_t kLoadHistoryLimit = 256;

  // The most recent loads (at most kLoadHistoryLimit), oldest first.
  std::vector<LoadRecord> loadRecords() const;
  // Loads of one ad unit since the last reset, including those no longer recorded.
  std::uint64_t loadCount(const std::string& adUnitId) const;
  // One line per recorded load.
  std::string describeLoads() const;

 private:
  AdSource();

  mutable std::mutex mutex_;
  AdScript defaultScript_;
  std::map<std::string, AdScript> units_;
  std::map<std::string, bool> startStates_;
  std::string scenarioName_ = "plain test source";
  std::deque<LoadRecord> loads_;
  std::map<std::string, std::uint64_t, std::less<>> loadCounts_;  // one entry per unit
  bool scenarioLoaded_ = false;
};

}  // namespace tilo::mediation
