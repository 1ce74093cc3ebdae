// The test mode of the C ABI: a host scripts the built-in ad source with a JSON scenario,
// in code (tilo_set_test_scenario) or with TILO_TEST_SCENARIO=FILE, read when the SDK is
// built unless the host set one in code first.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Tilo/base/TiloLogger.h"
#include "TiloObjCBridge/BridgeValues.h"
#include "mediation/AdSource.h"
#include "tilo/tilo.h"

namespace tilo::bridge {
namespace {

// Set by a scenario from code; the next build of the SDK then leaves the environment's be.
std::atomic<bool> scenarioSetInCode{false};

}  // namespace

void startTestScenario() {
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
      if (auto problem = source.loadScenarioText(std::string_view(json, length))) {
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
