// An application bundle: a folder with Info.plist and resource files.
//
//   auto bundle = Bundle::main();
//   std::optional<PlistValue> key = bundle->infoValue("TiloAppKey");
//   auto file = bundle->pathForResource("ios-tilo-key", "txt");
//
// The main bundle's folder is the override from setMainBundleDirectory, else
// TILO_BUNDLE_DIR, else the folder of the running executable. Info.plist is read once,
// when the bundle is made, through FileSystem::readFile's limits; a missing, unreadable
// or damaged one simply has no values.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/PlistValue.h"

namespace tilo::platform {

class Bundle {
 public:
  static std::shared_ptr<Bundle> main();
  // Takes effect for the following calls of main(); nullopt returns to the default.
  static void setMainBundleDirectory(std::optional<std::filesystem::path> directory);
  static std::shared_ptr<Bundle> atDirectory(std::filesystem::path directory);

  const std::filesystem::path& directory() const { return directory_; }
  std::optional<PlistValue> infoValue(std::string_view key) const;
  std::optional<std::string> bundleIdentifier() const;
  // <directory>/<name>.<ext> if anything is there (reading it may still fail); `ext` may
  // be empty.
  std::optional<std::filesystem::path> pathForResource(std::string_view name,
                                                       std::string_view ext) const;

  explicit Bundle(std::filesystem::path directory);

 private:
  std::filesystem::path directory_;
  PlistValue::Dictionary info_;
};

}  // namespace tilo::platform
