#include "platform/SystemLibraries.h"

#include <cstddef>
#include <mutex>
#include <span>

// Defined by libtilo.so's resolver (platform/lazy); absent, and null, where the libraries
// are linked.
extern "C" __attribute__((weak, visibility("hidden"))) int tilo_lazy_require(
    const char* symbol, char* library, std::size_t libraryCapacity, char* reason,
    std::size_t reasonCapacity);

namespace tilo::platform {
namespace {

std::mutex checkMutex;
SystemLibraryCheck& testCheck() {
  static auto* const check = new SystemLibraryCheck();
  return *check;
}

// One symbol of each library the feature calls into.
constexpr const char* kGraphicsSymbols[] = {
    "cairo_create",   "pango_layout_new", "pango_cairo_show_layout", "pango_fc_font_map_set_config",
    "g_object_unref", "FcConfigCreate",   "png_image_finish_read",   "jpeg_std_error"};
constexpr const char* kNetworkSymbols[] = {"curl_easy_init"};
constexpr const char* kSecuritySymbols[] = {"EVP_CIPHER_fetch", "plist_from_memory"};

std::span<const char* const> symbolsOf(SystemFeature feature) {
  switch (feature) {
    case SystemFeature::graphics:
      return kGraphicsSymbols;
    case SystemFeature::network:
      return kNetworkSymbols;
    case SystemFeature::security:
      return kSecuritySymbols;
  }
  return {};
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
  if (!tilo_lazy_require) return std::nullopt;
  for (const char* symbol : symbolsOf(feature)) {
    char library[128], reason[256];
    if (!tilo_lazy_require(symbol, library, sizeof library, reason, sizeof reason)) {
      return MissingLibrary{library, reason, feature};
    }
  }
  return std::nullopt;
}

void setSystemLibraryCheckForTesting(SystemLibraryCheck check) {
  std::lock_guard lock(checkMutex);
  testCheck() = std::move(check);
}

}  // namespace tilo::platform
