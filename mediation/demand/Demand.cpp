#include "mediation/demand/Demand.h"

#include <cstdlib>
#include <mutex>

#include "mediation/AdSource.h"
#include "mediation/demand/OpenRtbSource.h"
#include "platform/Bundle.h"
#include "platform/Url.h"

namespace tilo::mediation::demand {
namespace {

struct Settings {
  std::mutex mutex;
  std::optional<std::string> demandUrl, storeUrl;
};
// Kept for the process: loading the library runs nothing.
Settings& settings() {
  static auto* const value = new Settings();
  return *value;
}

}  // namespace

void Demand::load(const DemandRequest& request, DemandDelivery deliver) {
  auto& scripted = AdSource::shared();
  if (!scripted.hasScenario() && demandUrl()) {
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

}  // namespace tilo::mediation::demand
