#include "platform/UserDefaults.h"

#include "platform/Bundle.h"
#include "platform/FileSystem.h"

namespace tilo::platform {

UserDefaults::UserDefaults(std::filesystem::path path) : path_(std::move(path)) {}

std::shared_ptr<UserDefaults> UserDefaults::standard() {
  static std::mutex mutex;
  static std::shared_ptr<UserDefaults> instance;
  auto path = FileSystem::preferencesDirectory() /
              (Bundle::main()->bundleIdentifier().value_or("com.tilo.host") + ".plist");
  std::lock_guard lock(mutex);
  if (!instance || instance->path() != path) instance = atPath(std::move(path));
  return instance;
}

std::shared_ptr<UserDefaults> UserDefaults::atPath(std::filesystem::path path) {
  return std::make_shared<UserDefaults>(std::move(path));
}

PlistValue::Dictionary& UserDefaults::values() {
  if (!values_) {
    values_.emplace();
    if (auto bytes = FileSystem::readFile(path_)) {
      if (auto root = PlistValue::parse(*bytes); root && root->asDictionary()) {
        values_ = *root->asDictionary();
      }
    }
  }
  return *values_;
}

void UserDefaults::set(std::string_view key, std::optional<PlistValue> value) {
  std::lock_guard lock(mutex_);
  auto& dictionary = values();
  if (value) {
    dictionary.insert_or_assign(std::string(key), std::move(*value));
  } else if (dictionary.erase(std::string(key)) == 0) {
    return;
  }
  // Written under the lock so the file always reflects the latest change.
  std::string bytes = PlistValue(dictionary).toBinary();
  if (!FileSystem::atomicWrite(path_, bytes)) {
    FileSystem::createDirectories(path_.parent_path());
    FileSystem::atomicWrite(path_, bytes);
  }
}

void UserDefaults::setString(std::string_view key, std::string_view value) {
  set(key, PlistValue(std::string(value)));
}

std::optional<std::string> UserDefaults::string(std::string_view key) {
  std::lock_guard lock(mutex_);
  auto& dictionary = values();
  auto it = dictionary.find(std::string(key));
  if (it == dictionary.end() || !it->second.asString()) return std::nullopt;
  return *it->second.asString();
}

void UserDefaults::setData(std::string_view key, Bytes value) {
  set(key, PlistValue(std::move(value)));
}

std::optional<Bytes> UserDefaults::data(std::string_view key) {
  std::lock_guard lock(mutex_);
  auto& dictionary = values();
  auto it = dictionary.find(std::string(key));
  if (it == dictionary.end() || !it->second.asData()) return std::nullopt;
  return *it->second.asData();
}

void UserDefaults::removeObject(std::string_view key) {
  set(key, std::nullopt);
}

}  // namespace tilo::platform
