// Rewrites one file again and again, each time atomically (readers see the old content or
// the new, never a mix, even if this process dies mid-write), for a tenth of what
// FileSystem::atomicWrite costs the file system.
//
//   FileRewriter file(preferences);
//   file.write(bytes);  // again at every change
//
// The new content goes into a spare file kept beside the target (a temporary name of
// this process, see FileSystem::temporaryPath) and the two swap names in one step
// (renameat2 with RENAME_EXCHANGE): no inode is made or freed per write, where a fresh
// temporary renamed over the target makes one and frees the other every time. The spare
// then holds the previous content and takes the next write. Like atomicWrite, no fsync.
//
// Where the swap cannot be done (a file system without it, a target that is missing or
// was replaced by something else), the write is made as atomicWrite makes it. A spare
// that is not a plain file of one link (a symbolic or hard link planted in its place) is
// never written through: it is removed and made again. The spare is removed when the
// rewriter is destroyed; one left by a process that died is swept with the other
// temporaries (FileSystem::removeStaleTemporaries).
//
// Not thread-safe: one rewriter per file, called under its owner's lock.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string_view>

namespace tilo::platform {

class FileRewriter {
 public:
  explicit FileRewriter(std::filesystem::path path);
  ~FileRewriter();
  FileRewriter(const FileRewriter&) = delete;
  FileRewriter& operator=(const FileRewriter&) = delete;

  // True when `path` holds `bytes` afterwards. The parent folder must exist.
  bool write(std::string_view bytes);

  const std::filesystem::path& path() const { return path_; }
  const std::filesystem::path& sparePath() const { return spare_; }

 private:
  // The spare open for writing and its current size, made afresh when what is there is
  // not ours to write; -1 when it cannot be had.
  int openSpare(off_t& size);

  const std::filesystem::path path_;
  const std::filesystem::path spare_;
  bool swapWorks_ = true;  // cleared for good by a file system without the swap
};

}  // namespace tilo::platform
