#include "platform/UserDefaults.h"
#include "platform/AppContainer.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform/Application.h"
#include "platform/Bundle.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/NotificationCenter.h"

namespace tilo::platform {
UserDefaults::UserDefaults(std::filesystem::path path, double writeDelay)
    : path_(std::move(path)), writeDelay_(writeDelay), file_(path_) {}

UserDefaults::~UserDefaults() {
  // A forked child exiting: the parent owns the file and may hold the lock.
  if (isForkedChild()) return;
  std::lock_guard lock(mutex_);
  if (dirty_) write();
}

std::shared_ptr<UserDefaults> UserDefaults::standard() {
  static std::mutex mutex;
  static std::shared_ptr<UserDefaults> instance;
  auto path = AppContainer::preferencesDirectory() /
              (Bundle::main()->bundleIdentifier().value_or("com.tilo.host") + ".plist");
  std::lock_guard lock(mutex);
  if (!instance || instance->path() != path) instance = atPath(std::move(path), kWriteDelay);
  return instance;
}

std::shared_ptr<UserDefaults> UserDefaults::atPath(std::filesystem::path path, double writeDelay) {
  auto defaults = std::make_shared<UserDefaults>(std::move(path), writeDelay);
  if (writeDelay > 0) {
    // A backgrounded application may be suspended or killed before the delay ends.
    defaults->backgroundObserver_ = NotificationCenter::defaultCenter().addObserver(
        kDidEnterBackgroundNotification, [weak = std::weak_ptr<UserDefaults>(defaults)] {
          if (auto self = weak.lock()) self->flush();
        });
  }
  return defaults;
}

PlistValue::Dictionary& UserDefaults::values() {
  if (!document_) {
    FileSystem::ReadError error;
    auto bytes = FileSystem::readFile(path_, &error);
    if (bytes && !bytes->empty()) {
      // What the SDK cannot write back exactly, it never writes: the host's keys live in
      // the same file.
      auto reading = PlistValue::read(*bytes);
      if (!reading || !reading->value.asDictionary()) {
        readFailure_ = "it is not a property-list dictionary the SDK can read";
      } else {
        format_ = reading->format;
        if (!reading->exact ||
            PlistValue::parse(reading->value.encoded(format_)) != reading->value) {
          readFailure_ = "writing it back would change some of its values";
        }
        document_ = std::move(reading->value);
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
    if (!document_) document_.emplace(PlistValue::Dictionary{});
  }
  return *document_->asDictionary();
}

std::optional<std::string> UserDefaults::readFailure() {
  std::lock_guard lock(mutex_);
  values();
  return readFailure_;
}

std::optional<std::string> UserDefaults::takeReadFailureReport() {
  auto failure = readFailure();
  if (!failure || readFailureReported_.exchange(true)) return std::nullopt;
  return failure;
}

std::optional<std::filesystem::path> UserDefaults::takeMovedAsideReport() {
  std::lock_guard lock(mutex_);
  values();
  return std::exchange(movedAside_, std::nullopt);
}

void UserDefaults::set(std::string_view key, std::optional<PlistValue> value, double delay) {
  std::lock_guard lock(mutex_);
  if (value) {
    values().insert_or_assign(std::string(key), std::move(*value));
  } else if (values().erase(std::string(key)) == 0) {
    return;
  }
  // What could not be read would be lost by a write: keep the change in memory only.
  if (readFailure_) return;
  dirty_ = true;
  if (delay > 0 && Application::shared().state() != ApplicationState::background) {
    scheduleWrite(delay);
  } else {
    write();
  }
}

void UserDefaults::scheduleWrite(double delay) {
  // A test environment that ended drops its tasks: its pending write cannot be counted on.
  auto& environment = Environment::current();
  const double due = environment.clock().now() + delay;
  if (pendingIn_ == &environment && pendingDue_ <= due) return;
  // A sooner write replaces the pending one, whose task then finds another due time.
  pendingIn_ = &environment;
  pendingDue_ = due;
  environment.backgroundExecutor(TaskPriority::utility)
      ->postDelayed(
          [weak = weak_from_this(), due] {
            auto self = weak.lock();
            if (!self) return;
            std::lock_guard lock(self->mutex_);
            if (self->pendingDue_ != due) return;
            self->pendingIn_ = nullptr;
            if (self->dirty_) self->write();
          },
          delay);
}

void UserDefaults::flush() {
  std::lock_guard lock(mutex_);
  pendingIn_ = nullptr;
  if (dirty_) write();
}

void UserDefaults::write() {
  dirty_ = false;
  if (readFailure_) return;
  // Under the lock, so the file holds the latest change once the write is done.
  values();
  std::string bytes = document_->encoded(format_);
  // A file this large could not be read at the next start: the change stays in memory.
  if (bytes.size() > FileSystem::kMaxReadSize) {
    if (!writeFailure_) writeFailure_ = "it would grow over 4 MB";
    return;
  }
  bool written = file_.write(bytes);
  if (!written) {
    FileSystem::createDirectories(path_.parent_path());
    written = file_.write(bytes);
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
  set(key, PlistValue(std::string(value)), writeDelay_);
}

std::optional<std::string> UserDefaults::string(std::string_view key) {
  std::lock_guard lock(mutex_);
  const auto found = values().find(std::string(key));
  if (found == values().end() || !found->second.asString()) return std::nullopt;
  return *found->second.asString();
}

void UserDefaults::setData(std::string_view key, Bytes value) {
  set(key, PlistValue(std::move(value)), writeDelay_);
}

std::optional<Bytes> UserDefaults::data(std::string_view key) {
  std::lock_guard lock(mutex_);
  const auto found = values().find(std::string(key));
  if (found == values().end() || !found->second.asData()) return std::nullopt;
  return *found->second.asData();
}

void UserDefaults::removeObject(std::string_view key) {
  set(key, std::nullopt, writeDelay_);
}

void UserDefaults::removeObjectLazily(std::string_view key) {
  set(key, std::nullopt, writeDelay_ > 0 ? std::max(writeDelay_, kLazyWriteDelay) : 0);
}

}  // namespace tilo::platform
