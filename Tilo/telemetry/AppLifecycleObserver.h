// Records in "tilo_lifecycle.json" whether the application last entered the background
// or the foreground, and when, so the next start can judge an interrupted ad load.
//
//   AppLifecycleObserver::ensureShared();                          // during SDK start-up
//   auto last = AppLifecycleObserver::readLastLifecycleEvent();    // crash detection
//
// Writes only while marker checkpoints are enabled. The file holds the latest event.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Json.h"
#include "platform/Reactive.h"

namespace tilo {

enum class AppState {
  background,  // "background"
  foreground,  // "foreground"
};

std::string_view rawValue(AppState state);

struct AppLifecycleEvent {
  double timestamp;  // seconds since 1970
  AppState state;

  // {"timestamp": ..., "state": ...}
  std::string encode() const;
  // Throws platform::DecodingError, also for an unknown state.
  static AppLifecycleEvent decode(const platform::ParsedJson& json);
};

inline constexpr const char* kLifecycleFileName = "tilo_lifecycle.json";

class AppLifecycleObserver {
 public:
  // The process-wide observer, created on first call. Creation subscribes to the
  // did-enter-background and will-enter-foreground notifications and, when the
  // application already is in the background, records that.
  static std::shared_ptr<AppLifecycleObserver> ensureShared();
  static void resetSharedForTesting();
  // The recorded event; nullopt when the file is missing or unreadable.
  static std::optional<AppLifecycleEvent> readLastLifecycleEvent();

  void appDidEnterBackground();
  void appWillEnterForeground();

  AppLifecycleObserver() = default;

 private:
  platform::Subscription backgroundSubscription_;
  platform::Subscription foregroundSubscription_;
};

}  // namespace tilo
