// Where the mediation platform's loads find their ads: one interface, two sources.
//
//   Demand::load(DemandRequest{"interstitial", unitId, request, std::nullopt},
//                [](const AdScript& answer) { ... });   // once, on the main thread
//
// AdSource (mediation/AdSource.h) answers from the host's test scenario or the built-in
// test ads; OpenRtbSource asks an OpenRTB exchange. Demand::load chooses: a scenario the
// host set wins, then the exchange when a demand URL is configured, then the built-in ads.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace tilo::mediation {

struct AdScript;
class GADRequest;

namespace demand {

struct DemandRequest {
  // The platform's load: "interstitial", "rewarded", "appOpen", "banner" (MRECs too) or
  // "native" (the light popup and line banner too).
  std::string format;
  std::string adUnitId;  // the mediation ad-unit id
  std::shared_ptr<GADRequest> request;
  std::optional<std::pair<int, int>> adSize;  // points, banners only
};

// What a load answers: a fill with its creative, revenue and, for a real bid, its notices
// (AdScript::notices), or an error.
using DemandDelivery = std::function<void(const AdScript&)>;

class DemandSource {
 public:
  virtual ~DemandSource() = default;
  // Delivers exactly once, on the main executor.
  virtual void load(const DemandRequest& request, DemandDelivery deliver) = 0;
};

}  // namespace demand
}  // namespace tilo::mediation
