// The system libraries behind a feature, and whether they can be used. libtilo.so opens
// them on first use rather than when a host loads it, so a host without, say, the
// graphics stack can still load the library and use what does not draw: the entry points
// of a feature ask here first and refuse cleanly, naming the library to install. Where
// the libraries are linked (the static archive) they are always there.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace tilo::platform {

// Raw values are the library's table (platform/lazy/make_lazy_stubs.py).
enum class SystemFeature : unsigned {
  graphics = 0,  // cairo, pango, fontconfig, libpng, libjpeg: windows, views, pictures
  network = 1,   // libcurl: HTTP
  security = 2,  // libcrypto: the key file, the event store
};

struct MissingLibrary {
  std::string library;  // its soname, e.g. "libcairo.so.2"
  std::string reason;   // the dynamic loader's
  // "libcairo.so.2 cannot be loaded (…): install it to draw ads"
  std::string message() const;
  SystemFeature feature = SystemFeature::graphics;
};

// The first library of `feature` that cannot be used, each opened once per process with
// every function the SDK takes from it: one that lacks any is unusable as a whole.
std::optional<MissingLibrary> missingLibrary(SystemFeature feature);

// Test hook: answers in place of the loader until reset with an empty function.
using SystemLibraryCheck = std::function<std::optional<MissingLibrary>(SystemFeature)>;
void setSystemLibraryCheckForTesting(SystemLibraryCheck check);

}  // namespace tilo::platform
