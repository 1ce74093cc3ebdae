#include "Tilo/base/TiloLogger.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>

#include "platform/Environment.h"

namespace tilo {
namespace {

std::atomic<TiloLogLevel> level{TiloLogLevel::off};
std::mutex captureMutex;
std::atomic<ScopedLogCapture*> capture{nullptr};
// Made on first use and kept for the process: loading the library runs nothing. Accessed with the
// atomic shared_ptr functions.
std::shared_ptr<const LogSink>& logSink() {
  static auto* const value = new std::shared_ptr<const LogSink>();
  return *value;
}

}  // namespace

std::optional<TiloLogLevel> tiloLogLevelFromRawValue(int raw) {
  if (raw < 0 || raw > 2) return std::nullopt;
  return static_cast<TiloLogLevel>(raw);
}

std::string_view description(TiloLogLevel value) {
  switch (value) {
    case TiloLogLevel::error:
      return "ERROR";
    case TiloLogLevel::debug:
      return "DEBUG";
    case TiloLogLevel::off:
      break;
  }
  return "";
}

TiloLogLevel currentLogLevel() {
  return level.load(std::memory_order_relaxed);
}
void setCurrentLogLevel(TiloLogLevel value) {
  level.store(value, std::memory_order_relaxed);
}

std::string formatLogTime(double secondsSince1970) {
  // Truncated like any clock (rounding would print 0.4 ms before midnight as 00:00:00.000),
  // with a microsecond of slack so that a binary fraction like .007 does not print as 006.
  const long long totalMillis =
      static_cast<long long>(std::floor(secondsSince1970 * 1000.0 + 1e-3));
  long long wholeSeconds = totalMillis / 1000;
  long long millis = totalMillis % 1000;
  if (millis < 0) {
    millis += 1000;
    --wholeSeconds;
  }
  const std::time_t seconds = static_cast<std::time_t>(wholeSeconds);
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[48];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03lld", local.tm_hour, local.tm_min,
                local.tm_sec, millis);
  return text;
}

namespace {

std::string formatLine(std::string_view message, TiloLogLevel messageLevel) {
  std::string line = "[TILO] ";
  line += formatLogTime(platform::now());
  line += ' ';
  line += description(messageLevel);
  line += ' ';
  line += message;
  if (capture.load(std::memory_order_acquire)) {
    std::lock_guard lock(captureMutex);
    if (auto* sink = capture.load()) sink->record(line);
  }
  return line;
}

}  // namespace

void log(std::string_view message, TiloLogLevel messageLevel) {
  const TiloLogLevel current = currentLogLevel();
  if (current == TiloLogLevel::off || current < messageLevel) return;
  std::string line = formatLine(message, messageLevel);
  if (auto sink = std::atomic_load(&logSink())) {
    // The host's callback may call back into the SDK: never while a lock is held.
    platform::runOutsideLocks(
        [sink, messageLevel, line = std::move(line)] { (*sink)(messageLevel, line); });
    return;
  }
  line += '\n';
  // One write per line keeps lines from different threads whole.
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

void logFatal(std::string_view message) {
  const std::string line = formatLine(message, TiloLogLevel::error);
  if (auto sink = std::atomic_load(&logSink())) (*sink)(TiloLogLevel::error, line);
}

void setLogSink(LogSink sink) {
  std::atomic_store(&logSink(), sink ? std::make_shared<const LogSink>(std::move(sink)) : nullptr);
}

ScopedLogCapture::ScopedLogCapture() {
  std::lock_guard lock(captureMutex);
  capture.store(this, std::memory_order_release);
}

ScopedLogCapture::~ScopedLogCapture() {
  std::lock_guard lock(captureMutex);
  capture.store(nullptr, std::memory_order_release);
}

std::vector<std::string> ScopedLogCapture::lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

std::size_t ScopedLogCapture::count(std::string_view text) const {
  std::lock_guard lock(mutex_);
  std::size_t n = 0;
  for (const auto& line : lines_) n += line.find(text) != std::string::npos ? 1 : 0;
  return n;
}

void ScopedLogCapture::record(std::string line) {
  std::lock_guard lock(mutex_);
  lines_.push_back(std::move(line));
}

}  // namespace tilo
