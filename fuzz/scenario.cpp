// The ad source's scenario, read from a file as the demo's --scenario is: bad input is
// refused with a reason and leaves the previous scenario in force; a scenario that loads
// gives every unit a script within the documented ranges, with relative image names
// taken from the file's folder; nothing else escapes.
#include <cmath>
#include <fstream>

#include "fuzz/support/FuzzSupport.h"
#include "mediation/AdSource.h"

namespace {

using tilo::fuzz::check;
using tilo::mediation::AdScript;

void checkScript(const AdScript& script) {
  std::vector<double> delays = script.latencies;
  delays.insert(delays.end(),
                {script.delayMs, script.dismissAfterMs, script.expiresAfterMs.value_or(0)});
  for (double delay : delays) check(std::isfinite(delay) && delay >= 0);
  if (script.adSize) {
    const auto [width, height] = *script.adSize;
    check(width >= 1 && height >= 1 && width <= 4096 && height <= 4096);
  }
  (void)script.responseInfo();  // unit tests check its entries; here it only must not fail
  if (!script.native) return;
  // A file name in the scenario is taken from the scenario's folder unless it is absolute.
  for (const auto* image : {&script.native->icon, &script.native->media}) {
    if (*image && !(*image)->generated) check(std::filesystem::path((*image)->path).is_absolute());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tilo;
  auto& source = mediation::AdSource::shared();
  source.reset();
  const std::filesystem::path folder = fuzz::scratchDirectory();
  const std::filesystem::path file = folder / "scenario.json";
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    check(out.good());
  }

  const auto before = source.startStates();
  const auto problem = source.loadScenarioFile(file.string());
  if (problem) {
    check(!problem->empty() && source.startStates() == before);
    return 0;
  }
  // It loaded, so the bytes are one JSON text.
  const platform::Json scenario = platform::parseJson(fuzz::textOf(data, size));
  if (scenario.contains("units")) {
    for (const auto& [id, unit] : scenario["units"].items()) {
      checkScript(source.scriptFor(id));
    }
  }
  checkScript(source.scriptFor("unlisted-unit"));
  return 0;
}
