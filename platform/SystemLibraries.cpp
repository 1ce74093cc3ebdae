#include "platform/SystemLibraries.h"

#include <cstddef>
#include <mutex>

// Defined by libtilo.so's resolver (platform/lazy); absent, and null, where the libraries
// are linked. `feature` counts as SystemFeature does.
extern "C" __attribute__((weak, visibility("hidden"))) int tilo_lazy_require_feature(
    unsigned feature, char* library, std::size_t libraryCapacity, char* reason,
    std::size_t reasonCapacity);

namespace tilo::platform {
namespace {

std::mutex checkMutex;
SystemLibraryCheck& testCheck() {
  static auto* const check = new SystemLibraryCheck();
  return *check;
}

const char* purposeOf(SystemFeature feature) {
  switch (feature) {
    case SystemFeature::graphics:
      return "draw ads";
    case SystemFeature::network:
      return "reach the backend";
    case SystemFeature::security:
      return "read the app key and key file";
  }
  return "use the SDK";
}

}  // namespace

std::string MissingLibrary::message() const {
  return library + " cannot be loaded (" + reason + "): install it to " + purposeOf(feature);
}

std::optional<MissingLibrary> missingLibrary(SystemFeature feature) {
  {
    std::lock_guard lock(checkMutex);
    if (testCheck()) return testCheck()(feature);
  }
  if (!tilo_lazy_require_feature) return std::nullopt;
  char library[128], reason[256];
  if (tilo_lazy_require_feature(static_cast<unsigned>(feature), library, sizeof library, reason,
                                sizeof reason)) {
    return std::nullopt;
  }
  return MissingLibrary{library, reason, feature};
}

void setSystemLibraryCheckForTesting(SystemLibraryCheck check) {
  std::lock_guard lock(checkMutex);
  testCheck() = std::move(check);
}

}  // namespace tilo::platform
