// The ad-load tracker file ("tilo_crash_ad_tracker.json"). Bad bytes read as nothing; what decodes
// is written and read back to the same text.
#include "Tilo/telemetry/AdLoadTracker.h"
#include "fuzz/support/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return tilo::fuzz::fuzzMarkerFile<tilo::AdLoadTracker>(tilo::fuzz::textOf(data, size));
}
