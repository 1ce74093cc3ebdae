#include "Tilo/base/TiloKeyManager.h"

#include <mutex>

#include "Tilo/base/FatalError.h"
#include "Tilo/base/TiloLogger.h"
#include "platform/Environment.h"

namespace tilo {
namespace {

std::mutex sharedMutex;
std::shared_ptr<TiloKeyManager> sharedInstance;

}  // namespace

std::shared_ptr<TiloKeyManager> TiloKeyManager::create(const platform::Bundle& bundle) {
  std::optional<std::string> key;
  if (auto value = bundle.infoValue("TiloAdsKey"); value && value->asString()) {
    key = *value->asString();
  }
  if (auto value = bundle.infoValue("TiloAppKey"); value && value->asString()) {
    key = *value->asString();
  }
  if (!key) fatalError("TiloAppKey not found in Info.plist");
  log("initialized with app key", TiloLogLevel::debug);
  return std::make_shared<TiloKeyManager>(std::move(*key));
}

std::shared_ptr<TiloKeyManager> TiloKeyManager::shared() {
  platform::HeldLockScope held;  // creation logs: see TiloAds::shared
  std::lock_guard lock(sharedMutex);
  if (!sharedInstance) sharedInstance = create(*platform::Bundle::main());
  return sharedInstance;
}

void TiloKeyManager::resetSharedForTesting() {
  std::lock_guard lock(sharedMutex);
  sharedInstance.reset();
}

}  // namespace tilo
