#include "Tilo/telemetry/MarkerFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/FileSystem.h"

namespace tilo {
namespace {

using platform::FileSystem;

// The markers folder of the current container, held open: every file operation is then
// relative to it, so the kernel does not walk the full path each time, and the folder is
// created only once per container. Confined to the I/O queue.
class MarkerFolder {
 public:
  // The folder's descriptor for the current container; -1 when it cannot be made.
  int descriptor() {
    auto container = FileSystem::applicationContainer();
    if (fd_ < 0 || container != container_) open(std::move(container));
    return fd_;
  }
  // After an operation found nothing: when the folder was deleted under us (someone
  // cleared the caches), opens the one now at its path and returns it; else -1.
  int reopenIfDeleted() {
    struct stat info {};
    if (fd_ >= 0 && ::fstat(fd_, &info) == 0 && info.st_nlink > 0) return -1;
    open(FileSystem::applicationContainer());
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
// new one, even if the process dies in between.
bool writeAtomically(int directory, std::string_view name, std::string_view bytes) {
  static std::atomic<unsigned> counter{0};
  std::string temp;
  temp.reserve(name.size() + 32);
  temp.append(".").append(name).append(".tmp-").append(std::to_string(::getpid()));
  temp.append("-").append(std::to_string(counter.fetch_add(1, std::memory_order_relaxed)));
  const std::string target(name);
  const int fd = ::openat(directory, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = writeAll(fd, bytes);
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::renameat(directory, temp.c_str(), directory, target.c_str()) == 0;
  if (!ok) ::unlinkat(directory, temp.c_str(), 0);
  return ok;
}

}  // namespace

std::filesystem::path markersDirectory() {
  return FileSystem::cachesDirectory() / "TiloMarkersCache";
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

std::optional<std::string> readMarkerFile(std::string_view name) {
  const std::string path(name);
  int fd = -1;
  inMarkerFolder([&](int directory) {
    fd = ::openat(directory, path.c_str(), O_RDONLY | O_CLOEXEC);
    return fd >= 0;
  });
  if (fd < 0) return std::nullopt;
  // These files are small: one read usually returns all of it, and a short read of a
  // regular file means its end, which saves the syscalls of a stat and a final read.
  std::string out;
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      ::close(fd);
      return std::nullopt;
    }
    out.append(buffer, static_cast<size_t>(got));
    if (static_cast<size_t>(got) < sizeof buffer) break;
  }
  ::close(fd);
  return out;
}

bool writeMarkerFile(std::string_view name, std::string_view bytes) {
  return inMarkerFolder([&](int directory) { return writeAtomically(directory, name, bytes); });
}

void removeMarkerFile(std::string_view name) {
  const std::string path(name);
  inMarkerFolder([&](int directory) { return ::unlinkat(directory, path.c_str(), 0) == 0; });
}

}  // namespace tilo
