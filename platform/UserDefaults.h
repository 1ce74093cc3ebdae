// A persistent string/data store kept as one property-list file.
//
//   auto defaults = UserDefaults::standard();
//   defaults->setData("com.tilo.AdUnit", blob);
//   std::optional<Bytes> cached = defaults->data("com.tilo.AdUnit");
//
// The whole file lives in memory, read lazily on first access. Changes are written
// atomically (FileRewriter: a spare copy beside the file takes each write and trades
// places with it), so the next process sees them: at once by default, or, for a store made with
// a write delay (standard() uses kWriteDelay), once per delay for every change made within
// it, since a rewrite of the whole file costs far more than the change. A pending write is
// made at once when the application enters the background, by flush(), and when the store
// is destroyed (the standard one at exit); a change made while in the background is
// written at once. Keys this store does not change are written back exactly as they were
// read: the host keeps its own keys in the same file. Thread-safe.
//
// Warning: the file is rewritten only when every value in it would come back unchanged,
// in the form it was read in (XML stays XML, binary stays binary). A file that exists but
// cannot be read (no permission, an I/O error, not a regular file), that reads but does not
// parse (another encoding, nesting too deep, not a dictionary), or that holds a value the
// store cannot write back exactly (an integer beyond 64 bits, a date in another form, a key
// twice; see PlistValue.h) is never written: the store keeps every change in memory only,
// still reads what did parse, and readFailure() says why. An empty file holds nothing to
// lose and is replaced; a new file is binary.
//
// A file over FileSystem::kMaxReadSize could never be read back, so nothing saved would
// survive a restart: it is renamed to its name + ".too-large" (kept for the host, see
// takeMovedAsideReport()) and the store starts a fresh file. A write that would make the
// file that large is not made (takeWriteFailureReport()).
#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Bytes.h"
#include "platform/FileRewriter.h"
#include "platform/PlistValue.h"
#include "platform/Reactive.h"

namespace tilo::platform {

class UserDefaults : public std::enable_shared_from_this<UserDefaults> {
 public:
  // How long the standard store gathers changes into one write: well under the second
  // within which a logged event must be on disk.
  static constexpr double kWriteDelay = 0.1;
  // How long a lazy removal may wait for a write of its own, when nothing else is written
  // sooner.
  static constexpr double kLazyWriteDelay = 60;

  // <container>/Library/Preferences/<bundle id>.plist. A new instance is made when the
  // container or the main bundle changed since the last call.
  static std::shared_ptr<UserDefaults> standard();
  // A store over `path`. Each call makes an independent instance: use one per file.
  // `writeDelay` seconds (on the environment's clock) gather changes into one write; 0
  // writes each change through.
  static std::shared_ptr<UserDefaults> atPath(std::filesystem::path path, double writeDelay = 0);
  ~UserDefaults();
  UserDefaults(const UserDefaults&) = delete;
  UserDefaults& operator=(const UserDefaults&) = delete;

  void setString(std::string_view key, std::string_view value);
  std::optional<std::string> string(std::string_view key);
  void setData(std::string_view key, Bytes value);
  std::optional<Bytes> data(std::string_view key);
  void removeObject(std::string_view key);
  // A removal whose loss costs only a repeat of work already done (say, sending again
  // what the server has): written with the next change, when the application enters the
  // background, by flush() or the store's end, and otherwise within kLazyWriteDelay
  // seconds, so that it seldom costs a write of its own.
  void removeObjectLazily(std::string_view key);
  // Writes a pending change now; nothing when the file is current.
  void flush();

  const std::filesystem::path& path() const { return path_; }

  // Why the existing file could not be read, when it could not; the store is then
  // memory-only. Reads the file first if nothing has yet.
  std::optional<std::string> readFailure();
  // readFailure() for the first caller only, so that it is reported once per store.
  std::optional<std::string> takeReadFailureReport();
  // Where a file over the read cap was moved, for the first caller only.
  std::optional<std::filesystem::path> takeMovedAsideReport();
  // Why the last write failed (a full disk, a folder that cannot be made), once per run of
  // failures: the change stays in memory and the next write that succeeds stores it.
  std::optional<std::string> takeWriteFailureReport();

  explicit UserDefaults(std::filesystem::path path, double writeDelay = 0);

 private:
  // Callers hold mutex_.
  PlistValue::Dictionary& values();
  // A change, written within `delay` seconds (0: at once).
  void set(std::string_view key, std::optional<PlistValue> value, double delay);
  void write();
  void scheduleWrite(double delay);

  const std::filesystem::path path_;
  const double writeDelay_;
  std::mutex mutex_;
  FileRewriter file_;                // under mutex_
  bool dirty_ = false;               // a change not yet in the file
  const void* pendingIn_ = nullptr;  // the environment running the pending write
  double pendingDue_ = 0;            // when it is due, on that environment's clock
  Subscription backgroundObserver_;
  std::optional<PlistValue> document_;  // a dictionary, once read
  PlistFormat format_ = PlistFormat::binary;
  std::optional<std::string> readFailure_;
  std::atomic<bool> readFailureReported_{false};
  std::optional<std::filesystem::path> movedAside_;  // cleared by its report
  std::optional<std::string> writeFailure_;          // cleared by the next successful write
  bool writeFailureReported_ = false;
};

}  // namespace tilo::platform
