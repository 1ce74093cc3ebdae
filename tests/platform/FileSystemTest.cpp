#include "platform/FileSystem.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/AppContainer.h"
#include "platform/Bundle.h"
#include "platform/FileRewriter.h"
#include "support/TempDir.h"

namespace tilo::platform {
namespace {

using test::TempDir;

std::size_t entryCount(const std::filesystem::path& dir) {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir)) ++count;
  return count;
}

// Restores an environment variable when the test ends.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~ScopedEnv() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(AppContainerTest, LookupOrder) {
  TempDir dir;
  FileSystem::atomicWrite(
      dir.path() / "Info.plist",
      PlistValue(PlistValue::Dictionary{{"CFBundleIdentifier", "com.example.game"}}).toXml());
  Bundle::setMainBundleDirectory(dir.path());
  ScopedEnv home("HOME", "/home/player");
  ScopedEnv xdg("XDG_DATA_HOME", nullptr);
  ScopedEnv container("TILO_APP_CONTAINER", nullptr);

  // 1. HOME fallback, named after the main bundle's identifier.
  EXPECT_EQ(AppContainer::path(), "/home/player/.local/share/com.example.game");
  // 2. XDG_DATA_HOME wins over HOME.
  ::setenv("XDG_DATA_HOME", "/data", 1);
  EXPECT_EQ(AppContainer::path(), "/data/com.example.game");
  // 3. Without an identifier the host default is used.
  Bundle::setMainBundleDirectory(dir.path() / "missing");
  EXPECT_EQ(AppContainer::path(), "/data/com.tilo.host");
  // 4. The environment variable wins over both.
  ::setenv("TILO_APP_CONTAINER", "/c", 1);
  EXPECT_EQ(AppContainer::cachesDirectory(), "/c/Library/Caches");
  // 5. The in-code override wins over everything, and can be lifted again.
  AppContainer::setPath("/o");
  EXPECT_EQ(AppContainer::preferencesDirectory(), "/o/Library/Preferences");
  AppContainer::setPath(std::nullopt);
  EXPECT_EQ(AppContainer::path(), "/c");
  Bundle::setMainBundleDirectory(std::nullopt);
}

TEST(FileSystemTest, AtomicWriteReplacesAndCleansUp) {
  TempDir dir;
  auto file = dir.path() / "a.json";
  // 1. Create, then replace with shorter content: no stale tail, no temp files left.
  ASSERT_TRUE(FileSystem::atomicWrite(file, "first version"));
  ASSERT_TRUE(FileSystem::atomicWrite(file, std::string("2\0x", 3)));
  EXPECT_EQ(FileSystem::readFile(file), std::string("2\0x", 3));
  EXPECT_EQ(entryCount(dir.path()), 1u);
  // 2. Chunked content arrives in order. Until the last chunk the previous content stays
  //    whole beside the partial temporary file, so a writer killed mid-way leaves it.
  int n = 0;
  ASSERT_TRUE(FileSystem::atomicWrite(file, [&]() -> std::string_view {
    static const std::string parts[] = {"ab", "cd", "e"};
    if (n == 2) {
      EXPECT_EQ(FileSystem::readFile(file), std::string("2\0x", 3));
      EXPECT_EQ(entryCount(dir.path()), 2u);
    }
    return n < 3 ? std::string_view(parts[n++]) : std::string_view();
  }));
  EXPECT_EQ(FileSystem::readFile(file), "abcde");
  // 3. A missing folder fails without creating anything.
  EXPECT_FALSE(FileSystem::atomicWrite(dir.path() / "no" / "b.json", "x"));
  EXPECT_FALSE(FileSystem::exists(dir.path() / "no"));
  // 4. Writing over a folder fails and removes its temporary file.
  ASSERT_TRUE(FileSystem::createDirectories(dir.path() / "sub" / "deeper"));
  EXPECT_FALSE(FileSystem::atomicWrite(dir.path() / "sub", "x"));
  EXPECT_EQ(entryCount(dir.path()), 2u);
  // 5. Removal is idempotent; a removed file reads as nothing.
  EXPECT_TRUE(FileSystem::removeFile(file));
  EXPECT_TRUE(FileSystem::removeFile(file));
  EXPECT_EQ(FileSystem::readFile(file), std::nullopt);
  // 6. A folder cannot be made below a file.
  ASSERT_TRUE(FileSystem::atomicWrite(file, "x"));
  EXPECT_FALSE(FileSystem::createDirectories(file / "sub"));
}

// Files in the container and the bundle are untrusted: whatever is not a small regular file
// is refused at once (a FIFO without a writer would block an ordinary open), naming why, and
// removable without following a link. (A folder and a file over the cap, their texts and
// their removal: HostileInputTest, which plants both in every file's place.)
TEST(FileSystemTest, ReadsRefuseWhatIsNotASmallRegularFile) {
  TempDir dir;
  const auto at = [&](const char* name) { return dir.path() / name; };
  ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0600), 0);
  // Root reads through chmod 000; /proc/self/mem fails its read at offset 0 for everyone.
  std::filesystem::create_symlink("/proc/self/mem", at("unreadable"));
  ASSERT_TRUE(FileSystem::atomicWrite(at("small"), "x"));
  std::filesystem::create_symlink(at("small"), at("link"));
  const std::string file = "The file \"";
  const struct {
    const char* name;
    bool follow;
    int code;
    std::string description;
  } cases[] = {
      {"fifo", true, EINVAL, "fifo\" couldn't be opened because it is not a regular file."},
      {"unreadable", true, EIO, "unreadable\" couldn't be read. (Input/output error)"},
      {"link", false, ELOOP, "link\" couldn't be opened because it is a symbolic link."},
      {"missing", true, ENOENT, "missing\" couldn't be opened because there is no such file."},
  };
  for (const auto& c : cases) {
    FileSystem::ReadError error;
    EXPECT_EQ(FileSystem::readFile(at(c.name), &error, c.follow), std::nullopt) << c.name;
    EXPECT_EQ(std::pair(error.code, error.description), std::pair(c.code, file + c.description));
    EXPECT_TRUE(FileSystem::removeItem(at(c.name))) << c.name;
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(at(c.name)))) << c.name;
  }
  EXPECT_EQ(FileSystem::readFile(at("small")), "x");
}

// The rewriter's swaps: the target always whole, the spare never written through
// something planted in its place, and a folder or link at the target treated as
// atomicWrite treats them.
TEST(FileSystemTest, RewriterSwapsWithItsSpare) {
  TempDir dir;
  const auto file = dir.path() / "prefs.plist";
  const auto victim = dir.path() / "victim";
  ASSERT_TRUE(FileSystem::atomicWrite(victim, "keep me"));
  {
    FileRewriter rewriter(file);
    // 1. Growing and shrinking content, from no file at all: exact each time.
    for (const std::string text : {"a", "a much longer second version", "3", ""}) {
      ASSERT_TRUE(rewriter.write(text));
      EXPECT_EQ(FileSystem::readFile(file), text);
    }
    struct stat before {
    }, after{};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    ASSERT_TRUE(rewriter.write("swapped"));
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino);                     // a swap, not a write in place
    EXPECT_EQ(FileSystem::readFile(rewriter.sparePath()), "");  // the previous content
    // 2. A symbolic link, a hard link or a FIFO at the spare's name: the victim is
    // untouched and the write still lands.
    ASSERT_TRUE(FileSystem::removeFile(rewriter.sparePath()));
    ASSERT_EQ(::symlink(victim.c_str(), rewriter.sparePath().c_str()), 0);
    ASSERT_TRUE(rewriter.write("after a symlink"));
    ASSERT_TRUE(FileSystem::removeFile(rewriter.sparePath()));
    ASSERT_EQ(::link(victim.c_str(), rewriter.sparePath().c_str()), 0);
    ASSERT_TRUE(rewriter.write("after a hard link"));
    ASSERT_TRUE(FileSystem::removeFile(rewriter.sparePath()));
    ASSERT_EQ(::mkfifo(rewriter.sparePath().c_str(), 0600), 0);
    ASSERT_TRUE(rewriter.write("after a FIFO"));
    EXPECT_EQ(FileSystem::readFile(file), "after a FIFO");
    EXPECT_EQ(FileSystem::readFile(victim), "keep me");
    // 3. A hard-linked target: the other name keeps the old content, as it would with
    // atomicWrite, and later writes never reach it through the spare.
    const auto other = dir.path() / "other-name";
    ASSERT_EQ(::link(file.c_str(), other.c_str()), 0);
    ASSERT_TRUE(rewriter.write("one"));
    ASSERT_TRUE(rewriter.write("two"));
    EXPECT_EQ(FileSystem::readFile(file), "two");
    EXPECT_EQ(FileSystem::readFile(other), "after a FIFO");
    ASSERT_TRUE(FileSystem::removeFile(other));
    // 4. A link at the target is replaced by the file, its own target untouched.
    ASSERT_TRUE(FileSystem::removeFile(file));
    ASSERT_EQ(::symlink(victim.c_str(), file.c_str()), 0);
    ASSERT_TRUE(rewriter.write("plain again"));
    EXPECT_EQ(FileSystem::readFile(file, nullptr, false), "plain again");
    EXPECT_EQ(FileSystem::readFile(victim), "keep me");
    // 5. A folder at the target is refused and stays where it was, whole.
    ASSERT_TRUE(FileSystem::removeFile(file));
    ASSERT_TRUE(FileSystem::atomicWrite(victim, "keep me"));
    ASSERT_TRUE(FileSystem::createDirectories(file / "inside"));
    EXPECT_FALSE(rewriter.write("over a folder"));
    EXPECT_TRUE(std::filesystem::is_directory(file / "inside"));
  }
  // 6. The spare goes with the rewriter: the folder, the victim and nothing else.
  EXPECT_EQ(entryCount(dir.path()), 2u);
}

// Temporaries of killed writers go; those a live writer may still rename stay.
TEST(FileSystemTest, RemovesOnlyStaleTemporaries) {
  TempDir dir;
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ASSERT_EQ(::waitpid(dead, nullptr, 0), dead);
  const std::string self = std::to_string(::getpid());
  auto make = [&](const std::string& name) {
    EXPECT_TRUE(FileSystem::atomicWrite(dir.path() / name, "x"));
    return dir.path() / name;
  };
  make(".a.json.tmp-" + std::to_string(dead) + "-0");   // writer gone
  const auto old = make(".a.json.tmp-" + self + "-1");  // alive, but old
  const timespec longAgo[2] = {{::time(nullptr) - 700, 0}, {::time(nullptr) - 700, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, old.c_str(), longAgo, 0), 0);
  const auto fresh = make(".a.json.tmp-" + self + "-2");  // alive and recent
  const auto target = make("a.json");                     // not a temporary
  const auto odd = make(".a.json.tmp-x-3");               // not our pattern
  ASSERT_TRUE(
      FileSystem::createDirectories(dir.path() / (".b.tmp-" + std::to_string(dead) + "-4")));

  EXPECT_EQ(FileSystem::removeStaleTemporaries(dir.path(), 600), 2u);
  EXPECT_EQ(entryCount(dir.path()), 4u);
  EXPECT_TRUE(FileSystem::exists(fresh));
  EXPECT_TRUE(FileSystem::exists(target));
  EXPECT_TRUE(FileSystem::exists(odd));
  EXPECT_EQ(FileSystem::removeStaleTemporaries(dir.path() / "missing", 600), 0u);
}

}  // namespace
}  // namespace tilo::platform
