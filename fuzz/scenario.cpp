// The ad source's scenario, loaded as the demo's --scenario file is: bad input is refused
// with a reason and leaves the previous scenario in force; nothing else escapes.
#include "fuzz/support/FuzzSupport.h"
#include "mediation/AdSource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tilo;
  auto& source = mediation::AdSource::shared();
  source.reset();
  platform::Json scenario;
  try {
    scenario = platform::parseJson(fuzz::textOf(data, size));
  } catch (const platform::DecodingError&) {
    return 0;
  }
  const auto before = source.startStates();
  const auto problem = source.loadScenario(scenario);
  if (problem) {
    fuzz::check(!problem->empty() && source.startStates() == before);
    return 0;
  }
  if (scenario.contains("units")) {
    for (const auto& [id, unit] : scenario["units"].items()) (void)source.scriptFor(id);
  }
  (void)source.scriptFor("unlisted-unit");
  return 0;
}
