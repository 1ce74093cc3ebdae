#include "platform/UserDefaults.h"

#include <cerrno>
#include <utility>

#include "platform/Bundle.h"
#include "platform/FileSystem.h"

namespace tilo::platform {

UserDefaults::UserDefaults(std::filesystem::path path) : path_(std::move(path)) {}

std::shared_ptr<UserDefaults> UserDefaults::standard() {
  static std::mutex mutex;
  static std::shared_ptr<UserDefaults> instance;
  auto path = FileSystem::preferencesDirectory() /
              (Bundle::main()->bundleIdentifier().value_or("com.tilo.host") + ".plist");
  std::lock_guard lock(mutex);
  if (!instance || instance->path() != path) instance = atPath(std::move(path));
  return instance;
}

std::shared_ptr<UserDefaults> UserDefaults::atPath(std::filesystem::path path) {
  return std::make_shared<UserDefaults>(std::move(path));
}

PlistDocument& UserDefaults::document() {
  if (!document_) {
    FileSystem::ReadError error;
    auto bytes = FileSystem::readFile(path_, &error);
    if (bytes && !bytes->empty()) {
      // What the SDK cannot write back exactly, it never writes: the host's keys live in
      // the same file.
      document_ = PlistDocument::parse(*bytes);
      if (!document_) {
        readFailure_ = "it is not a property-list dictionary the SDK can read";
      } else if (!document_->keepsEveryValueOf(*bytes)) {
        readFailure_ = "writing it back would change some of its values";
      }
    } else if (!bytes && error.code == EFBIG) {
      if (auto moved = FileSystem::moveAside(path_, ".too-large")) {
        movedAside_ = std::move(moved);
      } else {
        readFailure_ = error.description;
      }
    } else if (!bytes && error.code != ENOENT && error.code != ENOTDIR) {
      readFailure_ = error.description;  // a missing file has nothing to protect
    }
    if (!document_) document_.emplace();
  }
  return *document_;
}

std::optional<std::string> UserDefaults::readFailure() {
  std::lock_guard lock(mutex_);
  document();
  return readFailure_;
}

std::optional<std::string> UserDefaults::takeReadFailureReport() {
  auto failure = readFailure();
  if (!failure || readFailureReported_.exchange(true)) return std::nullopt;
  return failure;
}

std::optional<std::filesystem::path> UserDefaults::takeMovedAsideReport() {
  std::lock_guard lock(mutex_);
  document();
  return std::exchange(movedAside_, std::nullopt);
}

void UserDefaults::set(std::string_view key, std::optional<PlistValue> value) {
  std::lock_guard lock(mutex_);
  auto& values = document();
  if (value) {
    values.set(std::string(key), *value);
  } else if (!values.remove(std::string(key))) {
    return;
  }
  // What could not be read would be lost by a write: keep the change in memory only.
  if (readFailure_) return;
  // Written under the lock so the file always reflects the latest change.
  std::string bytes = values.toBinary();
  // libplist writes some documents that it cannot read back (a host's key that is not
  // UTF-8, read from its XML file): the next start would find the file damaged and lose
  // every key in it. The store then keeps its changes in memory and says so.
  if (!PlistDocument::parse(bytes)) {
    readFailure_ = "its content cannot be written back as a property list";
    return;
  }
  // A file this large could not be read at the next start: the change stays in memory.
  if (bytes.size() > FileSystem::kMaxReadSize) {
    if (!writeFailure_) writeFailure_ = "it would grow over 4 MB";
    return;
  }
  bool written = FileSystem::atomicWrite(path_, bytes);
  if (!written) {
    FileSystem::createDirectories(path_.parent_path());
    written = FileSystem::atomicWrite(path_, bytes);
  }
  if (written) {
    writeFailure_.reset();
    writeFailureReported_ = false;
  } else if (!writeFailure_) {
    writeFailure_ = "could not write " + path_.string();
  }
}

std::optional<std::string> UserDefaults::takeWriteFailureReport() {
  std::lock_guard lock(mutex_);
  if (!writeFailure_ || writeFailureReported_) return std::nullopt;
  writeFailureReported_ = true;
  return writeFailure_;
}

void UserDefaults::setString(std::string_view key, std::string_view value) {
  set(key, PlistValue(std::string(value)));
}

std::optional<std::string> UserDefaults::string(std::string_view key) {
  std::lock_guard lock(mutex_);
  auto value = document().value(std::string(key));
  if (!value || !value->asString()) return std::nullopt;
  return *value->asString();
}

void UserDefaults::setData(std::string_view key, Bytes value) {
  set(key, PlistValue(std::move(value)));
}

std::optional<Bytes> UserDefaults::data(std::string_view key) {
  std::lock_guard lock(mutex_);
  auto value = document().value(std::string(key));
  if (!value || !value->asData()) return std::nullopt;
  return *value->asData();
}

void UserDefaults::removeObject(std::string_view key) {
  set(key, std::nullopt);
}

}  // namespace tilo::platform
