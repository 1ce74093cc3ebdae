#include "Tilo/base/TiloKeyManager.h"

#include <filesystem>
#include <mutex>
#include <optional>

#include "Tilo/base/ConfigurationError.h"
#include "Tilo/base/FatalError.h"
#include "Tilo/base/TiloLogger.h"
#include "platform/Environment.h"
#include "platform/SystemLibraries.h"

namespace tilo {
namespace {

std::mutex sharedMutex;
// Made on first use and kept for the process: loading the library runs nothing.
std::shared_ptr<TiloKeyManager>& sharedInstance() {
  static auto* const value = new std::shared_ptr<TiloKeyManager>();
  return *value;
}

}  // namespace

TiloKeyManager::Made TiloKeyManager::read(const platform::Bundle& bundle) {
  std::optional<std::string> key;
  if (auto value = bundle.infoValue("TiloAdsKey"); value && value->asString()) {
    key = *value->asString();
  }
  if (auto value = bundle.infoValue("TiloAppKey"); value && value->asString()) {
    key = *value->asString();
  }
  if (!key) {
    const auto info = bundle.directory() / "Info.plist";
    std::error_code error;
    return Made::failure(ConfigurationError(
        "TiloAppKey not found in Info.plist",
        std::filesystem::exists(info, error)
            ? info.string() + " is not a property list with a string under \"TiloAppKey\": "
                              "add the app key from the dashboard"
            : "no Info.plist in " + bundle.directory().string() +
                  ": choose the bundle folder with tilo_set_bundle_directory or "
                  "TILO_BUNDLE_DIR"));
  }
  log("initialized with app key", TiloLogLevel::debug);
  return std::make_shared<TiloKeyManager>(std::move(*key));
}

TiloKeyManager::Made TiloKeyManager::sharedOrError() {
  platform::HeldLockScope held;  // creation logs: see TiloAds::shared
  std::lock_guard lock(sharedMutex);
  if (!sharedInstance()) {
    // The key file needs libcrypto, opened on first use.
    if (auto missing = platform::missingLibrary(platform::SystemFeature::security)) {
      log(missing->message(), TiloLogLevel::error);
      return Made::failure(ConfigurationError("cannot read the app key", missing->message()));
    }
    auto made = read(*platform::Bundle::main());
    if (!made) return made;
    sharedInstance() = std::move(made.value());
  }
  return sharedInstance();
}

std::shared_ptr<TiloKeyManager> TiloKeyManager::shared() {
  auto made = sharedOrError();
  // Reported once the lock is released: the log callback may call in.
  if (!made) reportFatal(made.error()->message());
  return made ? made.value() : nullptr;
}

void TiloKeyManager::resetShared() {
  std::lock_guard lock(sharedMutex);
  sharedInstance().reset();
}

}  // namespace tilo
