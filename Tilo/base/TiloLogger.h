// The SDK's one console logger. Lines go to standard output:
//
//   [TILO] 14:03:07.125 DEBUG 🚀 SDK 초기화 시작
//
//   TiloAds::shared()->setLogLevel(TiloLogLevel::debug);   // the host's switch
//   log("Registered plugin: " + name, TiloLogLevel::debug);
//
// Callable from any thread. The time stamp comes from the environment clock, so tests on
// mock time get stable lines.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Tilo/base/TiloExport.h"

namespace tilo {

// Ordered by raw value: a level shows every message at or below it.
enum class TiloLogLevel : std::uint8_t {
  off = 0,    // nothing is printed
  error = 1,  // "ERROR" lines only
  debug = 2,  // "ERROR" and "DEBUG" lines
};

// Accepts 0, 1 and 2.
TILO_EXPORT std::optional<TiloLogLevel> tiloLogLevelFromRawValue(int raw);
// "", "ERROR", "DEBUG": the text written in a line, also the level's description.
TILO_EXPORT std::string_view description(TiloLogLevel level);

// The process-wide level, initially off.
TiloLogLevel currentLogLevel();
void setCurrentLogLevel(TiloLogLevel level);

// Prints "[TILO] HH:mm:ss.SSS LEVEL message" when the current level admits `level`.
void log(std::string_view message, TiloLogLevel level);

// Receives each line (without newline) instead of standard output, on the logging thread;
// an empty sink restores standard output. A line logged while the SDK holds a lock
// reaches the sink right after the lock is released (platform::HeldLockScope), so the
// sink may call any SDK function.
using LogSink = std::function<void(TiloLogLevel level, const std::string& line)>;
void setLogSink(LogSink sink);

// The line of an error that ends the process, as an error line: the sink hears it at once
// and whatever the level, since no later moment will come.
void logFatal(std::string_view message);

// "HH:mm:ss.SSS" of a wall-clock time in the local time zone.
std::string formatLogTime(double secondsSince1970);

// Test hook: while alive, every printed line is also recorded here (without newline).
class ScopedLogCapture {
 public:
  ScopedLogCapture();
  ~ScopedLogCapture();
  ScopedLogCapture(const ScopedLogCapture&) = delete;
  ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;

  std::vector<std::string> lines() const;
  // Lines containing `text`.
  std::size_t count(std::string_view text) const;
  void record(std::string line);

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

}  // namespace tilo
