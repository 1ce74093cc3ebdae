#include "support/InitializedSdkTest.h"

#include <optional>

#include "Tilo/backend/NetworkClient.h"
#include "Tilo/entry/TiloAds.h"
#include "Tilo/telemetry/AdEventLogger.h"
#include "Tilo/telemetry/CrashMarkers.h"
#include "mediation/AdSource.h"
#include "platform/Application.h"

namespace tilo::test {

void InitializedSdkTest::SetUp() {
  platform::Application::shared().resetForTesting();
  mediation::AdSource::shared().reset();
  setCurrentLogLevel(TiloLogLevel::debug);
  std::optional<std::optional<TiloError>> done;
  TiloAds::shared()->initialized([&](std::optional<TiloError> error) { done = error; });
  ASSERT_TRUE(sdk.drive([&] { return done.has_value(); }));
  ASSERT_FALSE(*done);
  setEnableMarkerCheckpoints(true);
}

void InitializedSdkTest::TearDown() {
  // An event upload still in flight would hold up the next test's start.
  sdk.drive([] { return NetworkClient::requestsInFlight() == 0; });
  setEnableMarkerCheckpoints(false);
  setCurrentLogLevel(TiloLogLevel::off);
  mediation::AdSource::shared().reset();
  platform::Application::shared().resetForTesting();
}

void InitializedSdkTest::script(const std::string& mediationUnit, const std::string& json) {
  auto error = mediation::AdSource::shared().loadScenario(
      platform::parseJson(R"({"units":{")" + mediationUnit + R"(":)" + json + "}}"));
  ASSERT_FALSE(error) << *error;
}

std::vector<std::pair<std::string, platform::Json>> InitializedSdkTest::queuedAdEvents() {
  std::vector<std::pair<std::string, platform::Json>> out;
  for (const auto& event : AdEventLogger::shared()->queuedEvents()) {
    if (event.eventType == AdLogEventType::markerCheckpoint) continue;
    out.emplace_back(std::string(wireName(event.eventType)), event.payload());
  }
  return out;
}

}  // namespace tilo::test
