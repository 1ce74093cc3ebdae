#include "platform/AppContainer.h"

#include <cstdlib>
#include <mutex>
#include <string>

#include "platform/Bundle.h"

namespace tilo::platform {
namespace {

constexpr const char* kDefaultBundleIdentifier = "com.tilo.host";

std::mutex overrideMutex;
// Made on first use and kept for the process: loading the library runs nothing.
std::optional<std::filesystem::path>& pathOverride() {
  static auto* const value = new std::optional<std::filesystem::path>();
  return *value;
}

const char* nonEmptyEnv(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? value : nullptr;
}

}  // namespace

std::filesystem::path AppContainer::path() {
  {
    std::lock_guard lock(overrideMutex);
    if (pathOverride()) return *pathOverride();
  }
  if (const char* container = nonEmptyEnv("TILO_APP_CONTAINER")) return container;
  std::string identifier = Bundle::main()->bundleIdentifier().value_or(kDefaultBundleIdentifier);
  if (const char* dataHome = nonEmptyEnv("XDG_DATA_HOME")) {
    return std::filesystem::path(dataHome) / identifier;
  }
  const char* home = nonEmptyEnv("HOME");
  return std::filesystem::path(home ? home : "/tmp") / ".local" / "share" / identifier;
}

void AppContainer::setPath(std::optional<std::filesystem::path> path) {
  std::lock_guard lock(overrideMutex);
  pathOverride() = std::move(path);
}

std::filesystem::path AppContainer::cachesDirectory() {
  return path() / "Library" / "Caches";
}

std::filesystem::path AppContainer::preferencesDirectory() {
  return path() / "Library" / "Preferences";
}

}  // namespace tilo::platform
