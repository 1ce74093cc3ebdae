// The folder that holds this application's data, and the two folders the SDK keeps in it.
//
//   auto markers = AppContainer::cachesDirectory() / "TiloMarkersCache";
//   auto defaults = AppContainer::preferencesDirectory() / (identifier + ".plist");
//
// Named after the main bundle's identifier, so it sits above both Bundle and FileSystem.
#pragma once

#include <filesystem>
#include <optional>

namespace tilo::platform {

class AppContainer {
 public:
  // The override, else TILO_APP_CONTAINER, else $XDG_DATA_HOME/<bundle id>, else
  // ~/.local/share/<bundle id>.
  static std::filesystem::path path();
  // Overrides the container for this process; nullopt returns to the default lookup.
  static void setPath(std::optional<std::filesystem::path> path);
  // <container>/Library/Caches and <container>/Library/Preferences (not created here).
  static std::filesystem::path cachesDirectory();
  static std::filesystem::path preferencesDirectory();
};

}  // namespace tilo::platform
