// The test mode of the C ABI: a host scripts the built-in ad source with a JSON scenario,
// in code (tilo_set_test_scenario) or with TILO_TEST_SCENARIO=FILE, read when the SDK is
// built unless the host set one in code first. A scenario's units are mediation ad-unit
// ids; one that names no unit of the app info is refused while the app info is known, and
// named in an error line when the app info arrives after it.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Tilo/base/TiloLogger.h"
#include "Tilo/entry/TiloAds.h"
#include "Tilo/entry/TiloService.h"
#include "TiloObjCBridge/BridgeValues.h"
#include "mediation/AdSource.h"
#include "platform/Environment.h"
#include "platform/Reactive.h"
#include "tilo/tilo.h"

namespace tilo::bridge {
namespace {

// Set by a scenario from code; the next build of the SDK then leaves the environment's be.
std::atomic<bool> scenarioSetInCode{false};

// The subscription that checks the scenario in force against each app info published,
// and the last complaint logged (each said once).
std::mutex checkMutex;
std::optional<platform::Subscription> appInfoCheck;
std::string lastComplaint;

// Why `ids` cannot script the units of `info`: the keys that are no mediation ad-unit id
// of it, and the ids it has.
std::optional<std::string> unmatchedUnits(const std::vector<std::string>& ids,
                                          const TiloAppInfo& info) {
  std::string unmatched;
  for (const auto& id : ids) {
    bool found = false;
    for (const auto& item : info.adUnits) found = found || item.mediationAdUnitId == id;
    if (!found) unmatched += (unmatched.empty() ? "units." : ", units.") + id;
  }
  if (unmatched.empty()) return std::nullopt;
  std::string known;
  for (const auto& item : info.adUnits) {
    known += (known.empty() ? "" : ", ") + item.mediationAdUnitId + " (" + item.tiloAdUnitId + ")";
  }
  return unmatched +
         ": no ad unit of the app info has this mediationAdUnitId; scenarios key units by "
         "it, and the app info has " +
         (known.empty() ? std::string("no units") : known);
}

// Refuses unit keys the app info in force does not know; takes any while none is known.
std::optional<std::string> checkAgainstPublishedUnits(const std::vector<std::string>& ids) {
  auto* ads = TiloAds::isSharedBuilt() ? TiloAds::shared() : nullptr;
  if (!ads) return std::nullopt;
  const auto info = ads->core()->currentAppInfo();
  return info ? unmatchedUnits(ids, *info) : std::nullopt;
}

void complainAboutScenarioUnits(const TiloAppInfo& info) {
  auto problem = unmatchedUnits(mediation::AdSource::shared().unitIds(), info);
  {
    std::lock_guard lock(checkMutex);
    if (!problem || *problem == lastComplaint) return;
    lastComplaint = *problem;
  }
  log("Test scenario: " + *problem + "; those units' loads follow \"default\"",
      TiloLogLevel::error);
}

}  // namespace

void startTestScenario() {
  auto* ads = TiloAds::shared();
  if (!ads) return;
  // The subscription's callback runs under its lock: the check (which logs) runs apart.
  auto subscription =
      ads->core()->appInfoPublisher().sink([](const std::optional<TiloAppInfo>& info) {
        if (info) platform::postBackground([info] { complainAboutScenarioUnits(*info); });
      });
  {
    std::lock_guard lock(checkMutex);
    appInfoCheck = std::move(subscription);
    lastComplaint.clear();
  }
  if (scenarioSetInCode.exchange(false)) return;
  const char* file = std::getenv("TILO_TEST_SCENARIO");
  if (!file || !*file) return;
  if (auto problem = mediation::AdSource::shared().loadScenarioFile(file)) {
    log("TILO_TEST_SCENARIO refused, the scenario in force stays: " + *problem,
        TiloLogLevel::error);
  } else {
    log(std::string("Test scenario from TILO_TEST_SCENARIO: ") + file, TiloLogLevel::debug);
  }
}

void stopTestScenarioCheck() {
  std::optional<platform::Subscription> ended;
  std::lock_guard lock(checkMutex);
  ended.swap(appInfoCheck);
}

}  // namespace tilo::bridge

extern "C" {

tilo_status tilo_set_test_scenario(const char* json) {
  using namespace tilo::bridge;
  static_assert(TILO_TEST_SCENARIO_MAX_BYTES == tilo::mediation::AdSource::kMaxScenarioBytes);
  if (auto life = lifeStatus(); life != TILO_STATUS_OK) return life;
  return guarded([&] {
    auto& source = tilo::mediation::AdSource::shared();
    if (!json) {
      source.useBuiltInTestAds();
    } else {
      // Never reads past the cap, whatever the host passed.
      const std::size_t length = strnlen(json, TILO_TEST_SCENARIO_MAX_BYTES + 1);
      if (auto problem = source.loadScenarioText(std::string_view(json, length), {},
                                                 checkAgainstPublishedUnits)) {
        setLastErrorMessage(*problem);
        return TILO_STATUS_INVALID_ARGUMENT;
      }
    }
    scenarioSetInCode = true;
    setLastErrorMessage({});
    return TILO_STATUS_OK;
  });
}

}  // extern "C"
