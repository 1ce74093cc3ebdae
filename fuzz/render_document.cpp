// The view-tree file of tilo-render: whatever the JSON, building it ends in a window or in
// a DocumentError that names the place; a window that was built lays out and dumps its
// layout. Drawing is left out: a valid 10000-point window at scale 3 is gigabytes of pixels.
#include "fuzz/support/FuzzSupport.h"
#include "platform/ui/LayoutDump.h"
#include "tools/render/RenderDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tilo;
  platform::Json json;
  try {
    json = platform::parseJson(fuzz::textOf(data, size));
  } catch (const platform::DecodingError&) {
    return 0;
  }
  try {
    const auto document = render::RenderDocument::build(json, fuzz::scratchDirectory());
    document.window()->layoutIfNeeded();
    fuzz::check(!platform::layoutDumpString(*document.window()).empty());
  } catch (const render::DocumentError& error) {
    fuzz::check(*error.what() != '\0');
  }
  return 0;
}
