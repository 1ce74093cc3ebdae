// Small-file operations.
//
//   auto dir = AppContainer::cachesDirectory() / "TiloMarkersCache";
//   FileSystem::createDirectories(dir);
//   FileSystem::atomicWrite(dir / "tilo_crash_sdk_init.flag", json);
//
// Nothing here throws: failures come back as false or nullopt.
//
// Files in the container and the bundle are untrusted: reads open without blocking (a
// FIFO with no writer), take only regular files and at most kMaxReadSize bytes, so a
// device, a folder or a huge file fails quickly instead of hanging or filling memory.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tilo::platform {

class FileSystem {
 public:
  // 4 MiB: far above anything the SDK or an Info.plist stores, far below what could
  // hurt a host's memory.
  static constexpr std::size_t kMaxReadSize = std::size_t{4} << 20;

  // Why a read failed: the errno value (EFBIG for a file over the cap, EISDIR or EINVAL
  // for something that is not a regular file) and a sentence naming the file.
  struct ReadError {
    int code = 0;
    std::string description;
  };

  // Writes into a temporary file beside `path`, then renames it over `path`: readers see
  // the old content or the new, never a mix, even if this process dies mid-write. No
  // fsync, so a power loss may still lose the write. The parent folder must exist.
  static bool atomicWrite(const std::filesystem::path& path, std::string_view bytes);
  // Same, for content produced in pieces: `next` returns the following chunk and an
  // empty view at the end.
  static bool atomicWrite(const std::filesystem::path& path,
                          const std::function<std::string_view()>& next);

  // A name beside `path` for a temporary of this process, ".<name>.tmp-<pid>-<n>", another
  // on every call. removeStaleTemporaries() knows the form.
  static std::filesystem::path temporaryPath(const std::filesystem::path& path);

  // The whole content of a regular file of at most kMaxReadSize bytes. With
  // `followSymlinks` false a symbolic link is refused (ELOOP).
  static std::optional<std::string> readFile(const std::filesystem::path& path,
                                             ReadError* error = nullptr,
                                             bool followSymlinks = true);
  // The same, for `name` inside the folder open as `directoryFd`.
  static std::optional<std::string> readFileAt(int directoryFd, const std::string& name,
                                               ReadError* error = nullptr,
                                               bool followSymlinks = true);
  // True when the file is gone afterwards (also when it never existed).
  static bool removeFile(const std::filesystem::path& path);
  // Renames `path` to the first of `path` + `suffix`, then + `suffix` + "-2" up to "-99",
  // that does not exist yet, never replacing a file. The new path, or nullopt when no name
  // was free or the rename failed.
  static std::optional<std::filesystem::path> moveAside(const std::filesystem::path& path,
                                                        std::string_view suffix);
  // Removes whatever is at `path` (a file, a FIFO, a whole folder) without following a
  // symbolic link. True when nothing is there afterwards.
  static bool removeItem(const std::filesystem::path& path);

  // Deletes the temporaries that atomicWrite leaves in `directory` when its process dies
  // between creating and renaming them (".<name>.tmp-<pid>-<n>"): those whose process is
  // gone, and those older than `maxAgeSeconds` whatever the pid says, since a pid may
  // have been reused or belong to another pid namespace. Returns how many went.
  static std::size_t removeStaleTemporaries(const std::filesystem::path& directory,
                                            double maxAgeSeconds);
  static bool exists(const std::filesystem::path& path);
  // True when the folder exists afterwards.
  static bool createDirectories(const std::filesystem::path& path);
};

}  // namespace tilo::platform
