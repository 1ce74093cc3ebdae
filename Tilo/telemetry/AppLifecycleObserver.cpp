#include "Tilo/telemetry/AppLifecycleObserver.h"

#include <mutex>

#include "Tilo/telemetry/CrashMarkers.h"
#include "Tilo/telemetry/JsonWriter.h"
#include "Tilo/telemetry/MarkerFiles.h"
#include "platform/Application.h"
#include "platform/Environment.h"
#include "platform/NotificationCenter.h"

namespace tilo {
namespace {

std::mutex sharedMutex;
// Made on first use and kept for the process: loading the library runs nothing.
std::shared_ptr<AppLifecycleObserver>& sharedObserver() {
  static auto* const value = new std::shared_ptr<AppLifecycleObserver>();
  return *value;
}

void record(AppState state) {
  if (!enableMarkerCheckpoints()) return;
  const std::string text = AppLifecycleEvent{platform::now(), state}.encode();
  crashMarkerFileQueue().sync([&] { writeMarkerFile(kLifecycleFileName, text); });
}

}  // namespace

std::string_view rawValue(AppState state) {
  return state == AppState::background ? "background" : "foreground";
}

std::string AppLifecycleEvent::encode() const {
  std::string out;
  JsonWriter(out)
      .beginObject()
      .field("timestamp", timestamp)
      .field("state", rawValue(state))
      .endObject();
  return out;
}

AppLifecycleEvent AppLifecycleEvent::decode(const platform::ParsedJson& json) {
  const double timestamp = platform::required<double>(json, "timestamp");
  const auto state = platform::required<std::string>(json, "state");
  if (state != "background" && state != "foreground") {
    throw platform::DecodingError(
        platform::DecodingError::Kind::dataCorrupted,
        "key \"state\": Cannot initialize AppState from invalid String value " + state);
  }
  return {timestamp, state == "background" ? AppState::background : AppState::foreground};
}

std::shared_ptr<AppLifecycleObserver> AppLifecycleObserver::ensureShared() {
  std::lock_guard lock(sharedMutex);
  if (sharedObserver()) return sharedObserver();
  auto observer = std::make_shared<AppLifecycleObserver>();
  std::weak_ptr<AppLifecycleObserver> weak = observer;
  auto& center = platform::NotificationCenter::defaultCenter();
  observer->backgroundSubscription_ =
      center.addObserver(platform::kDidEnterBackgroundNotification, [weak] {
        if (auto self = weak.lock()) self->appDidEnterBackground();
      });
  observer->foregroundSubscription_ =
      center.addObserver(platform::kWillEnterForegroundNotification, [weak] {
        if (auto self = weak.lock()) self->appWillEnterForeground();
      });
  if (platform::Application::shared().state() == platform::ApplicationState::background) {
    record(AppState::background);
  }
  sharedObserver() = observer;
  return observer;
}

void AppLifecycleObserver::resetSharedForTesting() {
  std::shared_ptr<AppLifecycleObserver> previous;
  std::lock_guard lock(sharedMutex);
  previous.swap(sharedObserver());
}

std::optional<AppLifecycleEvent> AppLifecycleObserver::readLastLifecycleEvent() {
  return crashMarkerFileQueue().sync([]() -> std::optional<AppLifecycleEvent> {
    // Every marker reads this file; the same bytes as last time need no parsing.
    static auto* last = new std::pair<std::string, AppLifecycleEvent>();
    auto text = readKeptMarkerFile(kLifecycleFileName);
    if (!text) return std::nullopt;
    if (!last->first.empty() && *text == last->first) return last->second;
    auto event = decodeMarkerFile<AppLifecycleEvent>(*text);  // undecodable: no event
    if (event) *last = {std::move(*text), *event};
    return event;
  });
}

void AppLifecycleObserver::appDidEnterBackground() {
  record(AppState::background);
}

void AppLifecycleObserver::appWillEnterForeground() {
  record(AppState::foreground);
}

}  // namespace tilo
