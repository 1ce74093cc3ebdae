#include "Tilo/telemetry/MarkerFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "platform/AppContainer.h"
#include "platform/FileSystem.h"

namespace tilo {
namespace {

using platform::AppContainer;
using platform::FileSystem;

// The markers folder of the current container, held open: every file operation is then
// relative to it, so the kernel does not walk the full path each time, and the folder is
// created only once per container. Confined to the I/O queue.
class MarkerFolder {
 public:
  // The folder's descriptor for the current container; -1 when it cannot be made.
  int descriptor() {
    auto container = AppContainer::path();
    if (fd_ < 0 || container != container_) open(std::move(container));
    return fd_;
  }
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    container_.clear();
  }
  // After an operation found nothing: when the folder was deleted under us (someone
  // cleared the caches), opens the one now at its path and returns it; else -1.
  int reopenIfDeleted() {
    struct stat info {};
    if (fd_ >= 0 && ::fstat(fd_, &info) == 0 && info.st_nlink > 0) return -1;
    open(AppContainer::path());
    return fd_;
  }

 private:
  void open(std::filesystem::path container) {
    if (fd_ >= 0) ::close(fd_);
    container_ = std::move(container);
    const auto directory = markersDirectory();
    FileSystem::createDirectories(directory);
    fd_ = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  }

  std::filesystem::path container_;
  int fd_ = -1;
};

MarkerFolder& folder() {
  static auto* instance = new MarkerFolder();
  return *instance;
}

// The file readKeptMarkerFile read last, as it found it. Confined to the I/O queue.
struct KeptFile {
  std::string name;
  struct stat seen {};
  std::string text;
};

KeptFile*& keptFile() {
  static KeptFile* kept = nullptr;
  return kept;
}

void forgetKept(std::string_view name) {
  KeptFile*& kept = keptFile();
  if (kept && kept->name == name) {
    delete kept;
    kept = nullptr;
  }
}

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
         a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// Temporary file beside the target, renamed over it: readers see the old content or the
// new one, even if the process dies in between. Its name carries the process id (read
// once: a child of fork that keeps its parent's only meets a name taken, and takes the
// next) and a counter.
bool writeAtomically(int directory, std::string_view name, std::string_view bytes) {
  static std::atomic<unsigned> counter{0};
  static const long pid = static_cast<long>(::getpid());
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
    char number[48];
    const int length = std::snprintf(number, sizeof number, "%ld-%u", pid,
                                     counter.fetch_add(1, std::memory_order_relaxed));
    temp.assign(".").append(name).append(".tmp-").append(number, static_cast<std::size_t>(length));
    fd = ::openat(directory, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  const std::string target(name);
  bool ok = writeAll(fd, bytes);
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::renameat(directory, temp.c_str(), directory, target.c_str()) == 0;
  if (!ok) {
    const int error = errno;  // the caller looks at why it failed
    ::unlinkat(directory, temp.c_str(), 0);
    errno = error;
  }
  return ok;
}

// Removes whatever is under `name`: a file, a FIFO, or a folder with its content.
bool removeAt(int directory, const std::string& name) {
  if (::unlinkat(directory, name.c_str(), 0) == 0) return true;
  if (errno != EISDIR && errno != EPERM) return false;
  return platform::FileSystem::removeItem(markersDirectory() / name);
}

}  // namespace

std::filesystem::path markersDirectory() {
  return AppContainer::cachesDirectory() / "TiloMarkersCache";
}

platform::SerialQueue& crashMarkerFileQueue() {
  // Never destroyed: markers may be cleared while the process exits.
  static auto* queue = new std::shared_ptr<platform::SerialQueue>(platform::SerialQueue::create(
      "com.tilo.crashmarker.fileio", platform::TaskPriority::utility));
  return **queue;
}

// Runs `operation` on the markers folder; when it fails with ENOENT because the folder
// itself was deleted, once more on the folder now at its path.
template <class Operation>
bool inMarkerFolder(Operation&& operation) {
  const int directory = folder().descriptor();
  if (directory < 0) return false;
  if (operation(directory)) return true;
  if (errno != ENOENT) return false;
  const int reopened = folder().reopenIfDeleted();
  return reopened >= 0 && operation(reopened);
}

std::optional<std::string> readMarkerFile(std::string_view name, int* errorCode) {
  const std::string path(name);
  std::optional<std::string> text;
  platform::FileSystem::ReadError error;
  // Our own files are never links: one here was put by someone else.
  inMarkerFolder([&](int directory) {
    text = platform::FileSystem::readFileAt(directory, path, &error, /*followSymlinks=*/false);
    if (!text) errno = error.code;
    return text.has_value();
  });
  if (errorCode) *errorCode = text ? 0 : (error.code ? error.code : ENOENT);
  return text;
}

std::optional<std::string> readKeptMarkerFile(std::string_view name) {
  const int directory = folder().descriptor();
  if (directory < 0) return std::nullopt;
  const std::string path(name);
  struct stat seen {};
  if (::fstatat(directory, path.c_str(), &seen, AT_SYMLINK_NOFOLLOW) != 0) {
    forgetKept(name);
    return std::nullopt;
  }
  KeptFile*& kept = keptFile();
  if (kept && kept->name == name && sameFile(kept->seen, seen)) return kept->text;
  forgetKept(name);
  auto text = readMarkerFile(name);
  // Kept only when what was read is what was seen: a file replaced in between is read
  // again next time.
  struct stat after {};
  if (text && ::fstatat(directory, path.c_str(), &after, AT_SYMLINK_NOFOLLOW) == 0 &&
      sameFile(seen, after)) {
    kept = new KeptFile{path, seen, *text};
  }
  return text;
}

bool writeMarkerFile(std::string_view name, std::string_view bytes) {
  forgetKept(name);
  return inMarkerFolder([&](int directory) {
    if (writeAtomically(directory, name, bytes)) return true;
    // A folder under our name (left by something else) cannot be renamed over: it is
    // removed so that the failure does not repeat at every write and every launch.
    if (errno != EISDIR && errno != ENOTEMPTY && errno != EEXIST) return false;
    return removeAt(directory, std::string(name)) && writeAtomically(directory, name, bytes);
  });
}

void removeMarkerFile(std::string_view name) {
  forgetKept(name);
  const std::string path(name);
  inMarkerFolder([&](int directory) { return removeAt(directory, path); });
}

std::size_t removeStaleMarkerTemporaries() {
  return platform::FileSystem::removeStaleTemporaries(markersDirectory(),
                                                      kStaleTemporaryAgeSeconds);
}

void closeMarkerFolder() {
  folder().close();
  KeptFile*& kept = keptFile();
  delete kept;
  kept = nullptr;
}

}  // namespace tilo
