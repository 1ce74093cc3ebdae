// A crash-marker flag file ("tilo_crash_<checkpoint>.flag"). Bad bytes read as nothing; what
// decodes is written and read back to the same text.
#include "Tilo/telemetry/CrashMarkers.h"
#include "fuzz/support/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return tilo::fuzz::fuzzMarkerFile<tilo::CrashMarkerInfo>(tilo::fuzz::textOf(data, size));
}
