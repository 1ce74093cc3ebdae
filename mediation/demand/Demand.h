// The choice of source for each load, and the exchange's settings.
//
//   Demand::setDemandUrl("http://127.0.0.1:8080/openrtb2/auction");  // before the first load
//   Demand::load(request, deliver);
//
// The exchange's auction URL is the one set in code, else TILO_DEMAND_URL, else the main
// bundle's Info.plist key "TiloDemandURL". It must be https://, or http:// to a loopback
// host (the backend's rule): setDemandUrl refuses any other, and one from the
// environment or Info.plist that breaks the rule makes every load fail with a load error
// that quotes it, rather than fall back to test ads unnoticed.
//
// A test ad is never a paid impression: while a handle from testAdsOnly(unit) lives, that
// mediation unit's loads answer from the built-in test ads even with an exchange.
#pragma once

#include <optional>
#include <string>

#include "mediation/demand/DemandSource.h"
#include "platform/Reactive.h"

namespace tilo::mediation::demand {

class Demand {
 public:
  // The host's scenario if it set one, else the exchange if configured, else the
  // built-in test ads.
  static void load(const DemandRequest& request, DemandDelivery deliver);

  // False, and nothing changed, for a URL that breaks the rule above; nullopt removes it.
  static bool setDemandUrl(std::optional<std::string> url);
  // The URL in force, as configured (not checked); nullopt when none is.
  static std::optional<std::string> demandUrl();
  // The application's store page, sent as app.storeurl (from the key file's configuration).
  static void setStoreUrl(std::optional<std::string> url);
  static std::optional<std::string> storeUrl();

  // Loads of `adUnitId` (a mediation unit) use the built-in test ads until the handle ends.
  [[nodiscard]] static platform::Subscription testAdsOnly(std::string adUnitId);
};

}  // namespace tilo::mediation::demand
