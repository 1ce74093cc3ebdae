#include "mediation/demand/Demand.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "mediation/AdSource.h"
#include "mediation/demand/OpenRtbSource.h"
#include "platform/Bundle.h"
#include "platform/Url.h"

namespace tilo::mediation::demand {
namespace {

struct Settings {
  std::mutex mutex;
  std::optional<std::string> demandUrl, storeUrl;
  std::vector<std::string> testOnlyUnits;  // one entry per live testAdsOnly handle
};
// Kept for the process: loading the library runs nothing.
Settings& settings() {
  static auto* const value = new Settings();
  return *value;
}

bool isTestOnly(const std::string& adUnitId) {
  std::lock_guard lock(settings().mutex);
  const auto& units = settings().testOnlyUnits;
  return std::find(units.begin(), units.end(), adUnitId) != units.end();
}

}  // namespace

void Demand::load(const DemandRequest& request, DemandDelivery deliver) {
  auto& scripted = AdSource::shared();
  if (!scripted.hasScenario() && !isTestOnly(request.adUnitId) && demandUrl()) {
    return OpenRtbSource::shared().load(request, std::move(deliver));
  }
  scripted.load(request, std::move(deliver));
}

bool Demand::setDemandUrl(std::optional<std::string> url) {
  if (url && !platform::isAcceptableServiceUrl(*url)) return false;
  std::lock_guard lock(settings().mutex);
  settings().demandUrl = std::move(url);
  return true;
}

std::optional<std::string> Demand::demandUrl() {
  {
    std::lock_guard lock(settings().mutex);
    if (settings().demandUrl) return settings().demandUrl;
  }
  if (const char* env = std::getenv("TILO_DEMAND_URL"); env && *env) return std::string(env);
  if (auto value = platform::Bundle::main()->infoValue("TiloDemandURL")) {
    if (const std::string* text = value->asString(); text && !text->empty()) return *text;
  }
  return std::nullopt;
}

void Demand::setStoreUrl(std::optional<std::string> url) {
  std::lock_guard lock(settings().mutex);
  settings().storeUrl = std::move(url);
}

std::optional<std::string> Demand::storeUrl() {
  std::lock_guard lock(settings().mutex);
  return settings().storeUrl;
}

platform::Subscription Demand::testAdsOnly(std::string adUnitId) {
  {
    std::lock_guard lock(settings().mutex);
    settings().testOnlyUnits.push_back(adUnitId);
  }
  return platform::Subscription([adUnitId = std::move(adUnitId)] {
    std::lock_guard lock(settings().mutex);
    auto& units = settings().testOnlyUnits;
    if (auto found = std::find(units.begin(), units.end(), adUnitId); found != units.end()) {
      units.erase(found);
    }
  });
}

}  // namespace tilo::mediation::demand
