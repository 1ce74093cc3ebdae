// The cached SDK switches ("sdkConfig.json"). Bad bytes read as nothing; what decodes
// is written and read back to the same text.
#include "Tilo/base/TiloAppInfo.h"
#include "fuzz/support/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return tilo::fuzz::fuzzMarkerFile<tilo::SdkConfig>(tilo::fuzz::textOf(data, size));
}
