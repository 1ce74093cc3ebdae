// The lifecycle file ("tilo_lifecycle.json"). Bad bytes read as nothing; what decodes
// is written and read back to the same text.
#include "Tilo/telemetry/AppLifecycleObserver.h"
#include "fuzz/support/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return tilo::fuzz::fuzzMarkerFile<tilo::AppLifecycleEvent>(tilo::fuzz::textOf(data, size));
}
