#include <fstream>
#include <thread>

#include "TelemetryFixture.h"
#include "Tilo/telemetry/AdLoadTracker.h"
#include "platform/AppContainer.h"
#include "platform/Application.h"

namespace tilo::test {
namespace {

using platform::Json;

class AdLoadTrackerTest : public TelemetryTest {
 protected:
  std::optional<Json> trackerJson() {
    auto text = platform::FileSystem::readFile(markerPath(kAdLoadTrackerFileName));
    if (!text) return std::nullopt;
    return Json::parse(*text);
  }
};

TEST_F(AdLoadTrackerTest, EntriesLiveFromFirstPhaseToCompletion) {
  // 1. Two loads at once give two entries.
  updateAdLoadPhase("unit-a", "start");
  env.advance(1);
  updateAdLoadPhase("unit-b", "start");
  AppLifecycleObserver().appDidEnterBackground();
  EXPECT_EQ(*trackerJson(), Json::parse(R"({"loadingAds":{
      "unit-a":{"currentPhase":"start","lastUpdate":1767225600.0},
      "unit-b":{"currentPhase":"start","lastUpdate":1767225601.0}}})"));

  // 2. A later phase refreshes the time and keeps a network already recorded.
  std::ofstream(markerPath(kAdLoadTrackerFileName))
      << R"({"loadingAds":{"unit-a":{"currentPhase":"sync","lastUpdate":5.0,"adNetwork":"AdMob"}}})";
  env.advance(1);
  updateAdLoadPhase("unit-a", "load");
  EXPECT_EQ(*trackerJson(), Json::parse(R"({"loadingAds":{
      "unit-a":{"currentPhase":"load","lastUpdate":1767225602.0,"adNetwork":"AdMob"}}})"));

  // 3. Completing an absent unit rewrites the same content; completing the others
  //    removes entries, and the last one the file; the lifecycle file stays.
  updateAdLoadPhase("unit-b", "loader_init");
  const auto before = trackerJson();
  completeAdLoad("unit-z");
  EXPECT_EQ(trackerJson(), before);
  completeAdLoad("unit-a");
  EXPECT_EQ(trackerJson()->at("loadingAds").size(), 1u);
  completeAdLoad("unit-b");
  EXPECT_FALSE(markerExists(kAdLoadTrackerFileName));
  EXPECT_TRUE(markerExists(kLifecycleFileName));
}

TEST_F(AdLoadTrackerTest, DamagedTrackerIsReplacedByUpdatesAndIgnoredByCompletions) {
  // A tracker with more entries than the cap counts as damaged too; the cap itself reads.
  auto entries = [](std::size_t n) {
    std::string text = R"({"loadingAds":{)";
    for (std::size_t i = 0; i < n; ++i) {
      text += (i == 0 ? "\"u" : ",\"u") + std::to_string(i) +
              R"(":{"currentPhase":"load","lastUpdate":1})";
    }
    return text + "}}";
  };
  std::filesystem::create_directories(markersDirectory());
  std::ofstream(markerPath(kAdLoadTrackerFileName)) << entries(AdLoadTracker::kMaxEntries);
  EXPECT_EQ(readAdLoadTracker()->loadingAds.size(), AdLoadTracker::kMaxEntries);
  for (const std::string& damaged : {std::string("[]"), entries(AdLoadTracker::kMaxEntries + 1)}) {
    std::ofstream(markerPath(kAdLoadTrackerFileName)) << damaged;
    EXPECT_FALSE(readAdLoadTracker());
    completeAdLoad("unit-a");
    EXPECT_EQ(platform::FileSystem::readFile(markerPath(kAdLoadTrackerFileName)), damaged);
    updateAdLoadPhase("unit-a", "start");
    EXPECT_EQ(trackerJson()->at("loadingAds").size(), 1u);
  }

  // Disabled markers leave the entry a completion would remove.
  setEnableMarkerCheckpoints(false);
  completeAdLoad("unit-a");
  EXPECT_TRUE(trackerJson()->at("loadingAds").contains("unit-a"));
}

TEST_F(AdLoadTrackerTest, ObserverRecordsTransitionsOnlyWhenEnabled) {
  auto& app = platform::Application::shared();
  // 1. Created in the foreground: no file.
  auto observer = AppLifecycleObserver::ensureShared();
  EXPECT_EQ(AppLifecycleObserver::ensureShared(), observer);
  EXPECT_FALSE(AppLifecycleObserver::readLastLifecycleEvent());

  // 2. Transitions are recorded with their time.
  env.advance(3);
  app.setState(platform::ApplicationState::background);
  EXPECT_EQ(AppLifecycleObserver::readLastLifecycleEvent()->encode(),
            (AppLifecycleEvent{1767225603.0, AppState::background}).encode());
  app.setState(platform::ApplicationState::active);
  EXPECT_EQ(AppLifecycleObserver::readLastLifecycleEvent()->state, AppState::foreground);
  // Replaced by another process of the app: read again, not the text kept from before.
  platform::FileSystem::atomicWrite(markerPath(kLifecycleFileName),
                                    AppLifecycleEvent{7, AppState::background}.encode());
  EXPECT_EQ(AppLifecycleObserver::readLastLifecycleEvent()->timestamp, 7.0);

  // 3. A new observer created while in the background records that at once. (Disabled
  //    markers record no transition: CrashMarkersTest.DisabledMarkers...)
  clearTrackerFiles();
  observer.reset();
  AppLifecycleObserver::resetSharedForTesting();
  app.setState(platform::ApplicationState::background);
  EXPECT_FALSE(markerExists(kLifecycleFileName));
  observer = AppLifecycleObserver::ensureShared();
  EXPECT_EQ(AppLifecycleObserver::readLastLifecycleEvent()->state, AppState::background);
}

// Real threads on the production executors: concurrent read-modify-writes of
// different units must not lose each other's entries.
TEST(AdLoadTrackerThreadsTest, ConcurrentUpdatesKeepEveryEntry) {
  TempDir container;
  platform::AppContainer::setPath(container.path());
  setEnableMarkerCheckpoints(true);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 40; ++i) {
        updateAdLoadPhase("unit-" + std::to_string(t), "phase-" + std::to_string(i));
      }
      updateAdLoadPhase("extra-" + std::to_string(t), "start");
      completeAdLoad("extra-" + std::to_string(t));
    });
  }
  for (auto& thread : threads) thread.join();
  auto tracker = readAdLoadTracker();
  setEnableMarkerCheckpoints(false);
  platform::AppContainer::setPath(std::nullopt);
  ASSERT_TRUE(tracker);
  ASSERT_EQ(tracker->loadingAds.size(), 4u);
  for (int t = 0; t < 4; ++t) {
    EXPECT_EQ(tracker->loadingAds["unit-" + std::to_string(t)].currentPhase, "phase-39");
  }
}

}  // namespace
}  // namespace tilo::test
