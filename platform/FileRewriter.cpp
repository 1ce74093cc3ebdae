#include "platform/FileRewriter.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/FileSystem.h"

namespace tilo::platform {

FileRewriter::FileRewriter(std::filesystem::path path)
    : path_(std::move(path)), spare_(FileSystem::temporaryPath(path_)) {}

FileRewriter::~FileRewriter() {
  ::unlink(spare_.c_str());
}

int FileRewriter::openSpare(off_t& size) {
  // O_NOFOLLOW and O_NONBLOCK: a link or a FIFO planted at the spare's name is never
  // written through or waited on.
  constexpr int kFlags = O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int fd = ::open(spare_.c_str(), kFlags | O_CREAT, 0666);
    if (fd >= 0) {
      struct stat info {};
      // Another link to the same file would see every write half made.
      if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1) {
        size = info.st_size;
        return fd;
      }
      ::close(fd);
    } else if (errno != ELOOP && errno != ENXIO) {
      return -1;
    }
    if (::unlink(spare_.c_str()) != 0) return -1;  // never a folder's content
  }
  return -1;
}

bool FileRewriter::write(std::string_view bytes) {
  if (!swapWorks_) return FileSystem::atomicWrite(path_, bytes);
  off_t oldSize = 0;
  const int fd = openSpare(oldSize);
  if (fd < 0) return FileSystem::atomicWrite(path_, bytes);
  bool ok = true;
  for (std::size_t done = 0; ok && done < bytes.size();) {
    const ssize_t written =
        ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (written < 0 && errno == EINTR) continue;
    ok = written > 0;
    if (ok) done += static_cast<std::size_t>(written);
  }
  // Cut the old tail only when there is one: truncating costs the file system more than
  // the overwrite itself.
  if (ok && oldSize > static_cast<off_t>(bytes.size())) {
    ok = ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0;
  }
  ok = ::close(fd) == 0 && ok;
  if (!ok) return false;  // a full disk: the target is untouched
  // Only a plain file trades places with the spare: a folder or a link there is for
  // atomicWrite to refuse or replace, as it always was.
  struct stat target {};
  if (::lstat(path_.c_str(), &target) != 0 && errno == ENOENT) {
    if (::rename(spare_.c_str(), path_.c_str()) == 0) return true;  // the first write
    return FileSystem::atomicWrite(path_, bytes);
  }
  if (!S_ISREG(target.st_mode)) return FileSystem::atomicWrite(path_, bytes);
  if (::renameat2(AT_FDCWD, spare_.c_str(), AT_FDCWD, path_.c_str(), RENAME_EXCHANGE) == 0) {
    return true;
  }
  const int error = errno;
  if (error == EINVAL || error == ENOSYS || error == EOPNOTSUPP) swapWorks_ = false;
  return FileSystem::atomicWrite(path_, bytes);
}

}  // namespace tilo::platform
