// A fresh private folder under the system temp directory, removed with its contents
// when the object goes away.
//
//   TempDir dir;
//   FileSystem::atomicWrite(dir.path() / "a.txt", "x");
#pragma once

#include <filesystem>

namespace tilo::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace tilo::test
