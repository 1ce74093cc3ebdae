// A persistent string/data store kept as one property-list file.
//
//   auto defaults = UserDefaults::standard();
//   defaults->setData("com.tilo.AdUnit", blob);
//   std::optional<Bytes> cached = defaults->data("com.tilo.AdUnit");
//
// The whole dictionary lives in memory, read lazily from the file on first access. Every
// change is written through at once (atomically), so the next process sees it. A
// damaged file reads as empty and is replaced by the next write. Thread-safe.
#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Bytes.h"
#include "platform/PlistValue.h"

namespace tilo::platform {

class UserDefaults {
 public:
  // <container>/Library/Preferences/<bundle id>.plist. A new instance is made when the
  // container or the main bundle changed since the last call.
  static std::shared_ptr<UserDefaults> standard();
  // A store over `path`. Each call makes an independent instance: use one per file.
  static std::shared_ptr<UserDefaults> atPath(std::filesystem::path path);

  void setString(std::string_view key, std::string_view value);
  std::optional<std::string> string(std::string_view key);
  void setData(std::string_view key, Bytes value);
  std::optional<Bytes> data(std::string_view key);
  void removeObject(std::string_view key);

  const std::filesystem::path& path() const { return path_; }

  explicit UserDefaults(std::filesystem::path path);

 private:
  // Callers hold mutex_.
  PlistValue::Dictionary& values();
  void set(std::string_view key, std::optional<PlistValue> value);

  const std::filesystem::path path_;
  std::mutex mutex_;
  std::optional<PlistValue::Dictionary> values_;
};

}  // namespace tilo::platform
