#include "platform/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <limits>

namespace tilo::platform {
namespace {

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
  for (int attempt = 0; attempt < 8; ++attempt) {
    tempPath = FileSystem::temporaryPath(path).string();
    int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

struct Descriptor {
  int fd;
  ~Descriptor() { ::close(fd); }
};

std::string readErrorDescription(const std::string& path, int code) {
  const std::string file = "The file \"" + std::filesystem::path(path).filename().string() + "\"";
  switch (code) {
    case ENOENT:
      return file + " couldn't be opened because there is no such file.";
    case EACCES:
    case EPERM:
      return file + " couldn't be opened because you don't have permission to view it.";
    case EISDIR:
      return file + " couldn't be opened because it is a folder.";
    case EINVAL:
      return file + " couldn't be opened because it is not a regular file.";
    case ELOOP:
      return file + " couldn't be opened because it is a symbolic link.";
    case EFBIG:
      return file + " couldn't be opened because it is larger than " +
             std::to_string(FileSystem::kMaxReadSize >> 20) + " MB.";
    default:
      return file + " couldn't be read. (" + std::strerror(code) + ")";
  }
}

// The pid in ".<name>.tmp-<pid>-<n>", the names openTemporary gives.
std::optional<pid_t> temporaryOwner(const std::string& name) {
  const auto marker = name.rfind(".tmp-");
  if (name.size() < 2 || name[0] != '.' || marker == std::string::npos || marker < 2) {
    return std::nullopt;
  }
  const auto dash = name.find('-', marker + 5);
  auto digits = [&](std::size_t from, std::size_t to) {
    return to > from && to - from <= 10 &&
           std::all_of(name.begin() + static_cast<std::ptrdiff_t>(from),
                       name.begin() + static_cast<std::ptrdiff_t>(to),
                       [](char c) { return c >= '0' && c <= '9'; });
  };
  if (dash == std::string::npos || !digits(marker + 5, dash) || !digits(dash + 1, name.size())) {
    return std::nullopt;
  }
  const long long pid = std::stoll(name.substr(marker + 5, dash - marker - 5));
  if (pid <= 0 || pid > std::numeric_limits<pid_t>::max()) return std::nullopt;
  return static_cast<pid_t>(pid);
}

bool isProcessAlive(pid_t pid) {
  return ::kill(pid, 0) == 0 || errno == EPERM;
}

}  // namespace

std::filesystem::path FileSystem::temporaryPath(const std::filesystem::path& path) {
  static std::atomic<unsigned> counter{0};
  return path.parent_path() /
         ("." + path.filename().string() + ".tmp-" + std::to_string(::getpid()) + "-" +
          std::to_string(counter.fetch_add(1, std::memory_order_relaxed)));
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

std::optional<std::string> FileSystem::readFile(const std::filesystem::path& path, ReadError* error,
                                                bool followSymlinks) {
  return readFileAt(AT_FDCWD, path.string(), error, followSymlinks);
}

std::optional<std::string> FileSystem::readFileAt(int directoryFd, const std::string& name,
                                                  ReadError* error, bool followSymlinks) {
  auto fail = [&](int code) -> std::optional<std::string> {
    if (error) *error = {code, readErrorDescription(name, code)};
    return std::nullopt;
  };
  // O_NONBLOCK: opening a FIFO that has no writer would otherwise wait forever.
  const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | (followSymlinks ? 0 : O_NOFOLLOW);
  const int fd = ::openat(directoryFd, name.c_str(), flags);
  if (fd < 0) return fail(errno);
  const Descriptor closer{fd};
  struct stat info {};
  if (::fstat(fd, &info) != 0) return fail(errno);
  if (!S_ISREG(info.st_mode)) return fail(S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
  if (info.st_size < 0 || static_cast<std::uint64_t>(info.st_size) > kMaxReadSize) {
    return fail(EFBIG);
  }
  std::string out;
  out.reserve(static_cast<std::size_t>(info.st_size));
  char buffer[16384];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return fail(errno);
    if (got == 0) return out;
    out.append(buffer, static_cast<std::size_t>(got));
    // The size can grow after fstat; the cap holds for what is read, not what was seen.
    if (out.size() > kMaxReadSize) return fail(EFBIG);
  }
}

bool FileSystem::removeFile(const std::filesystem::path& path) {
  return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

std::optional<std::filesystem::path> FileSystem::moveAside(const std::filesystem::path& path,
                                                           std::string_view suffix) {
  for (int n = 1; n < 100; ++n) {
    std::filesystem::path target = path;
    target += std::string(suffix) + (n == 1 ? "" : "-" + std::to_string(n));
    if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
      return target;
    }
    // A file system without that flag: a hard link fails the same way on a taken name.
    if (errno == EINVAL && ::link(path.c_str(), target.c_str()) == 0) {
      ::unlink(path.c_str());
      return target;
    }
    if (errno != EEXIST) return std::nullopt;
  }
  return std::nullopt;
}

bool FileSystem::removeItem(const std::filesystem::path& path) {
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
  if (errno != EISDIR && errno != EPERM) return false;
  std::error_code error;
  std::filesystem::remove_all(path, error);
  return !error && !std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

std::size_t FileSystem::removeStaleTemporaries(const std::filesystem::path& directory,
                                               double maxAgeSeconds) {
  // File times are stamped by the kernel in real time, so their age is measured against
  // the real clock, not the SDK's.
  const auto now = std::chrono::system_clock::now();
  std::size_t removed = 0;
  std::error_code error;
  for (std::filesystem::directory_iterator it(directory, error), end; !error && it != end;
       it.increment(error)) {
    const std::string name = it->path().filename().string();
    const auto pid = temporaryOwner(name);
    if (!pid) continue;
    struct stat info {};
    if (::lstat(it->path().c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    const auto modified = std::chrono::system_clock::time_point(
        std::chrono::seconds(info.st_mtim.tv_sec) + std::chrono::nanoseconds(info.st_mtim.tv_nsec));
    const double age = std::chrono::duration<double>(now - modified).count();
    if (isProcessAlive(*pid) && age <= maxAgeSeconds) continue;
    if (::unlink(it->path().c_str()) == 0) ++removed;
  }
  return removed;
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
