// The devserver's decoding of POST /analytics/events: a body nested too deep is refused
// before parsing, anything else decodes or fails with DecodingError, and no decoded row
// lacks its event id.
#include "fuzz/support/FuzzSupport.h"
#include "platform/Json.h"
#include "tools/devserver/UploadDecoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tilo;
  const std::string body(fuzz::textOf(data, size));
  if (devserver::nestsDeeperThan(body, 32)) return 0;  // answered 400
  try {
    const devserver::Upload upload = devserver::decodeUpload(body);
    for (const auto& row : upload.rows) {
      fuzz::check(!row.payload.empty() && row.payload.front() == '{');
    }
  } catch (const platform::DecodingError&) {
  }
  return 0;
}
