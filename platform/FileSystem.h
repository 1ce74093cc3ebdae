// The application's container folders and small-file operations.
//
//   auto dir = FileSystem::cachesDirectory() / "TiloMarkersCache";
//   FileSystem::createDirectories(dir);
//   FileSystem::atomicWrite(dir / "tilo_crash_sdk_init.flag", json);
//
// Nothing here throws: failures come back as false or nullopt.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tilo::platform {

class FileSystem {
 public:
  // The folder that holds this application's data: the override, else TILO_APP_CONTAINER,
  // else $XDG_DATA_HOME/<bundle id>, else ~/.local/share/<bundle id>.
  static std::filesystem::path applicationContainer();
  // Overrides the container for this process; nullopt returns to the default lookup.
  static void setApplicationContainer(std::optional<std::filesystem::path> path);
  // <container>/Library/Caches and <container>/Library/Preferences (not created here).
  static std::filesystem::path cachesDirectory();
  static std::filesystem::path preferencesDirectory();

  // Writes into a temporary file beside `path`, then renames it over `path`: readers see
  // the old content or the new, never a mix, even if this process dies mid-write. No
  // fsync, so a power loss may still lose the write. The parent folder must exist.
  static bool atomicWrite(const std::filesystem::path& path, std::string_view bytes);
  // Same, for content produced in pieces: `next` returns the following chunk and an
  // empty view at the end.
  static bool atomicWrite(const std::filesystem::path& path,
                          const std::function<std::string_view()>& next);

  static std::optional<std::string> readFile(const std::filesystem::path& path);
  // True when the file is gone afterwards (also when it never existed).
  static bool removeFile(const std::filesystem::path& path);
  static bool exists(const std::filesystem::path& path);
  // True when the folder exists afterwards.
  static bool createDirectories(const std::filesystem::path& path);
};

}  // namespace tilo::platform
