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

bool isDelay(double milliseconds) {
  return std::isfinite(milliseconds) && milliseconds >= 0;
}

// A file name in the scenario is taken from the scenario's folder unless it is absolute.
void checkImage(const std::optional<tilo::mediation::NativeImageSource>& image) {
  if (image && !image->generated) check(std::filesystem::path(image->path).is_absolute());
}

void checkScript(const AdScript& script) {
  check(isDelay(script.delayMs) && isDelay(script.dismissAfterMs));
  check(!script.expiresAfterMs || isDelay(*script.expiresAfterMs));
  for (double latency : script.latencies) check(isDelay(latency));
  if (script.adSize) {
    const auto [width, height] = *script.adSize;
    check(width >= 1 && height >= 1 && width <= 4096 && height <= 4096);
  }
  if (script.native) {
    checkImage(script.native->icon);
    checkImage(script.native->media);
  }
  // The response names one entry per latency, the serving network last.
  const auto response = script.responseInfo();
  const std::size_t entries =
      script.latencies.size() + (script.network && script.latencies.empty());
  check(response.adNetworkInfoArray.size() == entries);
  check(response.loadedAdNetworkResponseInfo.has_value() == script.network.has_value());
  if (script.network) check(response.adNetworkInfoArray.back().adSourceName == script.network);
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
