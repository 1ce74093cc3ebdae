#include "platform/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/Bundle.h"

namespace tilo::platform {
namespace {

constexpr const char* kDefaultBundleIdentifier = "com.tilo.host";

std::mutex containerMutex;
std::optional<std::filesystem::path> containerOverride;

const char* nonEmptyEnv(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? value : nullptr;
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// Opens a fresh temporary file next to `path`. The name carries the pid and a counter;
// O_EXCL guards against leftovers of a crashed process that had the same pid.
int openTemporary(const std::filesystem::path& path, std::string& tempPath) {
  static std::atomic<unsigned> counter{0};
  const std::string prefix = (path.parent_path() / ("." + path.filename().string())).string() +
                             ".tmp-" + std::to_string(::getpid()) + "-";
  for (int attempt = 0; attempt < 8; ++attempt) {
    tempPath = prefix + std::to_string(counter.fetch_add(1, std::memory_order_relaxed));
    int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

std::filesystem::path FileSystem::applicationContainer() {
  {
    std::lock_guard lock(containerMutex);
    if (containerOverride) return *containerOverride;
  }
  if (const char* container = nonEmptyEnv("TILO_APP_CONTAINER")) return container;
  std::string identifier = Bundle::main()->bundleIdentifier().value_or(kDefaultBundleIdentifier);
  if (const char* dataHome = nonEmptyEnv("XDG_DATA_HOME")) {
    return std::filesystem::path(dataHome) / identifier;
  }
  const char* home = nonEmptyEnv("HOME");
  return std::filesystem::path(home ? home : "/tmp") / ".local" / "share" / identifier;
}

void FileSystem::setApplicationContainer(std::optional<std::filesystem::path> path) {
  std::lock_guard lock(containerMutex);
  containerOverride = std::move(path);
}

std::filesystem::path FileSystem::cachesDirectory() {
  return applicationContainer() / "Library" / "Caches";
}

std::filesystem::path FileSystem::preferencesDirectory() {
  return applicationContainer() / "Library" / "Preferences";
}

bool FileSystem::atomicWrite(const std::filesystem::path& path, std::string_view bytes) {
  bool done = false;
  return atomicWrite(path, [&]() -> std::string_view {
    if (done) return {};
    done = true;
    return bytes;
  });
}

bool FileSystem::atomicWrite(const std::filesystem::path& path,
                             const std::function<std::string_view()>& next) {
  std::string tempPath;
  int fd = openTemporary(path, tempPath);
  if (fd < 0) return false;
  bool ok = true;
  for (std::string_view chunk = next(); ok && !chunk.empty(); chunk = next()) {
    ok = writeAll(fd, chunk);
  }
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(tempPath.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(tempPath.c_str());
  return ok;
}

std::optional<std::string> FileSystem::readFile(const std::filesystem::path& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string out;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && info.st_size > 0) out.reserve(static_cast<size_t>(info.st_size));
  char buffer[16384];
  for (;;) {
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ::close(fd);
      if (got < 0) return std::nullopt;
      return out;
    }
    out.append(buffer, static_cast<size_t>(got));
  }
}

bool FileSystem::removeFile(const std::filesystem::path& path) {
  return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool FileSystem::exists(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::exists(path, error);
}

bool FileSystem::createDirectories(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  return std::filesystem::is_directory(path, error);
}

}  // namespace tilo::platform
