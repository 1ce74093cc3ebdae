// Common ground for telemetry tests: mock time, a private application container, marker
// checkpoints on, error lines captured, and no process-wide logger or observer left over.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Tilo/base/TiloLogger.h"
#include "Tilo/telemetry/AdEventLogger.h"
#include "Tilo/telemetry/AppLifecycleObserver.h"
#include "Tilo/telemetry/CrashMarkers.h"
#include "Tilo/telemetry/EventStore.h"
#include "platform/AppContainer.h"
#include "platform/Device.h"
#include "platform/FileSystem.h"
#include "platform/Json.h"
#include "platform/TestEnvironment.h"
#include "platform/UserDefaults.h"
#include "support/RecordingTiloApi.h"
#include "support/TempDir.h"

namespace tilo::test {

inline constexpr const char* kTestAppKey = "telemetry-app-key";

// One start's crash detection with a logger whose uploads succeed: the events it sent.
inline std::vector<platform::Json> detectPreviousCrashes(platform::TestEnvironment& env,
                                                         const std::string& appKey) {
  auto api = std::make_shared<RecordingTiloApi>(RecordingTiloApi::Answer{});
  auto logger = AdEventLogger::create(api, appKey);
  checkForPreviousCrashes();
  env.runUntilIdle();
  AdEventLogger::resetSharedForTesting();
  return api->allEvents();
}

class TelemetryTest : public ::testing::Test {
 protected:
  TelemetryTest() {
    platform::AppContainer::setPath(container.path());
    setEnableMarkerCheckpoints(true);
    setCurrentLogLevel(TiloLogLevel::error);
  }
  ~TelemetryTest() override {
    AdEventLogger::resetSharedForTesting();
    AppLifecycleObserver::resetSharedForTesting();
    setEnableMarkerCheckpoints(false);
    setCurrentLogLevel(TiloLogLevel::off);
    platform::setLocaleIdentifierForTesting(std::nullopt);
    platform::AppContainer::setPath(std::nullopt);
  }

  std::filesystem::path markerPath(const std::string& name) const {
    return markersDirectory() / name;
  }
  bool markerExists(const std::string& name) const {
    return std::filesystem::exists(markerPath(name));
  }
  EventStore store(const std::string& secret = kTestAppKey) const {
    return EventStore(platform::UserDefaults::standard(), secret);
  }
  std::vector<platform::Json> detect() { return detectPreviousCrashes(env, kTestAppKey); }
  std::vector<std::string> storedIds() const {
    std::vector<std::string> ids;
    for (const auto& event : store().loadSavedEvents()) ids.push_back(event.eventId);
    return ids;
  }

  TempDir container;
  platform::TestEnvironment env;
  ScopedLogCapture logs;
};

}  // namespace tilo::test
