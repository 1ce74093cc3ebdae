#include "platform/Bundle.h"

#include <cstdlib>
#include <mutex>

#include "platform/FileSystem.h"

namespace tilo::platform {
namespace {

std::mutex mainMutex;
// Made on first use and kept for the process: loading the library runs nothing.
std::optional<std::filesystem::path>& mainOverride() {
  static auto* const value = new std::optional<std::filesystem::path>();
  return *value;
}
std::shared_ptr<Bundle>& mainBundle() {
  static auto* const value = new std::shared_ptr<Bundle>();
  return *value;
}

std::filesystem::path defaultMainDirectory() {
  if (const char* dir = std::getenv("TILO_BUNDLE_DIR"); dir && *dir) return dir;
  std::error_code error;
  auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::current_path(error) : executable.parent_path();
}

}  // namespace

Bundle::Bundle(std::filesystem::path directory) : directory_(std::move(directory)) {
  if (auto bytes = FileSystem::readFile(directory_ / "Info.plist")) {
    if (auto root = PlistValue::parse(*bytes); root && root->asDictionary()) {
      info_ = *root->asDictionary();
    }
  }
}

std::shared_ptr<Bundle> Bundle::main() {
  std::lock_guard lock(mainMutex);
  if (!mainBundle())
    mainBundle() = atDirectory(mainOverride() ? *mainOverride() : defaultMainDirectory());
  return mainBundle();
}

void Bundle::setMainBundleDirectory(std::optional<std::filesystem::path> directory) {
  std::lock_guard lock(mainMutex);
  mainOverride() = std::move(directory);
  mainBundle().reset();
}

std::shared_ptr<Bundle> Bundle::atDirectory(std::filesystem::path directory) {
  return std::make_shared<Bundle>(std::move(directory));
}

std::optional<PlistValue> Bundle::infoValue(std::string_view key) const {
  auto it = info_.find(std::string(key));
  if (it == info_.end()) return std::nullopt;
  return it->second;
}

std::optional<std::string> Bundle::bundleIdentifier() const {
  auto value = infoValue("CFBundleIdentifier");
  if (const std::string* identifier = value ? value->asString() : nullptr) return *identifier;
  return std::nullopt;
}

std::optional<std::filesystem::path> Bundle::pathForResource(std::string_view name,
                                                             std::string_view ext) const {
  if (name.empty()) return std::nullopt;
  std::string file(name);
  if (!ext.empty()) {
    if (ext.front() != '.') file += '.';
    file += ext;
  }
  auto path = directory_ / file;
  // Whatever is there counts as the resource, as on the platform: a folder or a FIFO in
  // its place is the reader's error to report, not a missing file.
  std::error_code error;
  if (!std::filesystem::exists(std::filesystem::symlink_status(path, error))) return std::nullopt;
  return path;
}

}  // namespace tilo::platform
