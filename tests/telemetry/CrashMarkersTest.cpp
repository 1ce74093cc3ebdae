#include <fstream>

#include "TelemetryFixture.h"
#include "Tilo/telemetry/AdLoadTracker.h"
#include "Tilo/telemetry/SessionIdentifier.h"

namespace tilo::test {
namespace {

using Strings = std::vector<std::string>;

using platform::Json;

class CrashMarkersTest : public TelemetryTest {
 protected:
  void writeMarker(const std::string& name, const std::string& text) {
    std::filesystem::create_directories(markersDirectory());
    std::ofstream(markerPath(name)) << text;
  }
  std::string readMarker(const std::string& name) {
    return platform::FileSystem::readFile(markerPath(name)).value_or("<missing>");
  }
  Strings markerFiles() {
    Strings names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(markersDirectory(), error)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  // Each event's payload `key` ("-" where it has none).
  static Strings checkpoints(const std::vector<Json>& events, const char* key = "checkpoint") {
    Strings names;
    for (const auto& event : events) names.push_back(event["payload"].value(key, "-"));
    return names;
  }
};

TEST_F(CrashMarkersTest, ReportsOtherFlagsInCaseOrderThenTheLatestInitFlag) {
  const double start = platform::now();
  setMarker(CrashMarkerCheckpoint::sdkInit);
  env.advance(1);
  setMarker(CrashMarkerCheckpoint::configFetch,
            CheckpointMetadata::configFetch(StageResult::inProgress, std::nullopt));
  setMarker(CrashMarkerCheckpoint::nativeAd, CheckpointMetadata::nativeAd({"renderAd", {}, {}}));
  markAdCallback("onShown", TiloAdInfo{TiloAdFormat::interstitial, "i-unit", 10.0, "AdMob"});
  EXPECT_EQ(markerFiles(), (Strings{"tilo_crash_ad_callback.flag", "tilo_crash_config_fetch.flag",
                                    "tilo_crash_native_ad.flag", "tilo_crash_sdk_init.flag"}));
  env.advance(2);

  // 1. Non-init flags in case order, then the newer of the two init flags.
  auto events = detect();
  ASSERT_EQ(checkpoints(events), (Strings{"ad_callback", "native_ad", "config_fetch"}));
  const Json& callback = events[0];
  EXPECT_EQ(Json::array({callback["eventType"], callback["createdAt"],
                         callback["payload"]["crashTimestamp"],
                         callback["payload"]["detectionTimestamp"]}),
            Json::array({"marker_checkpoint", static_cast<std::int64_t>((start + 3) * 1000),
                         start + 1, start + 3}));
  EXPECT_EQ(checkpoints(events, "metadata"),
            (Strings{R"({"phase":"onShown","unitId":"i-unit","network":"AdMob"})",
                     R"({"phase":"renderAd"})", R"({"phase":"remote_progress"})"}));
  EXPECT_TRUE(markerFiles().empty());  // detection's only input: nothing left to report

  // 2. Equal timestamps: the earlier case wins; sdk_init carries no metadata at all.
  setMarker(CrashMarkerCheckpoint::adNetworkInit,
            CheckpointMetadata::adNetworkInit("AdMob:privacy"));
  setMarker(CrashMarkerCheckpoint::sdkInit);
  events = detect();
  ASSERT_EQ(checkpoints(events), Strings{"sdk_init"});
  EXPECT_EQ(checkpoints(events, "metadata"), Strings{"-"});
  EXPECT_EQ(checkpoints(events, "lastLifecycleState"), Strings{"-"});
}

TEST_F(CrashMarkersTest, FlagFileCarriesMetadataLifecycleAndSession) {
  AppLifecycleObserver().appDidEnterBackground();
  env.advance(0.5);
  setMarker(CrashMarkerCheckpoint::configFetch,
            CheckpointMetadata::configFetch(
                StageResult::success,
                CacheStageResult{CacheStageResult::Type::save, StageResult::inProgress}));
  EXPECT_EQ(
      readMarker("tilo_crash_config_fetch.flag"),
      R"({"timestamp":1767225600.5,"checkpoint":"config_fetch","metadata":{"type":"configFetch",)"
      R"("configFetch":{"remoteFinalResult":"success","cacheResult":{"type":"save","result":"inProgress"}}},)"
      R"("lifecycleEvent":{"timestamp":1767225600.0,"state":"background"},"sessionId":")" +
          sessionIdentifier() + R"("})");
  markAdShow(TiloAdInfo{TiloAdFormat::rewarded, "r-unit", 250.0, "Vungle"});
  EXPECT_EQ(
      readMarker("tilo_crash_ad_show_crash.flag"),
      R"({"timestamp":1767225600.5,"checkpoint":"ad_show_crash","metadata":{"type":"adShowCrash",)"
      R"("adShowCrash":{"adFormat":"rewarded_video","adUnitId":"r-unit","latency":250.0,)"
      R"("adNetwork":"Vungle"}},"lifecycleEvent":{"timestamp":1767225600.0,"state":"background"},)"
      R"("sessionId":")" +
          sessionIdentifier() + R"("})");
  // Back in the foreground: the flags keep the state of when they were set, while a load
  // in flight is judged by the lifecycle file as it is at the next start.
  env.advance(1);
  AppLifecycleObserver().appWillEnterForeground();
  updateAdLoadPhase("i-unit", "load");
  auto events = detect();
  ASSERT_EQ(checkpoints(events), (Strings{"ad_show_crash", "config_fetch", "ad_load_crash"}));
  const Strings metadata = checkpoints(events, "metadata");
  EXPECT_EQ(Strings(metadata.begin(), metadata.begin() + 2),
            (Strings{R"({"adFormat":"rewarded_video","adUnitId":"r-unit","latency":250.0})",
                     R"({"phase":"cache_save_progress"})"}));
  EXPECT_EQ(checkpoints(events, "lastLifecycleState"),
            (Strings{"background", "background", "foreground"}));
  EXPECT_EQ(events[2]["payload"]["lastLifecycleTimestamp"], 1767225601.5);
  const Json& payload = events[1]["payload"];
  EXPECT_EQ(payload["lastLifecycleTimestamp"], 1767225600.0);
  Strings keys;
  for (const auto& item : payload.items()) keys.push_back(item.key());
  EXPECT_EQ(keys, (Strings{"sessionId", "checkpoint", "crashTimestamp", "detectionTimestamp",
                           "metadata", "lastLifecycleState", "lastLifecycleTimestamp"}));
}

TEST_F(CrashMarkersTest, BrokenFlagsAreDeletedWithoutReportAndSoundOnesKeepTheirSession) {
  const std::string uploadCache =
      R"({"type":"configFetch","configFetch":{"remoteFinalResult":"failure",)"
      R"("cacheResult":{"type":"upload","result":"failure"}}})";
  auto flag = [](const std::string& checkpoint, const std::string& metadata) {
    return R"({"timestamp":1,"checkpoint":")" + checkpoint + R"(","metadata":)" + metadata +
           R"(,"sessionId":"s"})";
  };
  writeMarker("tilo_crash_ad_callback.flag", "{not json");
  writeMarker("tilo_crash_native_ad.flag", flag("native_ad", R"({"type":"bogus"})"));
  writeMarker("tilo_crash_config_fetch.flag", flag("config_fetch", uploadCache));
  // The sound one among them is reported alone, in the session of the run that set it (a
  // tracker report carries the detecting run's: TrackerContextFollowsTimeSpentInBackground).
  writeMarker("tilo_crash_ad_show_crash.flag",
              R"({"timestamp":1767225500.0,"checkpoint":"ad_show_crash","sessionId":"EARLIER"})");
  const auto events = detect();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(Json::array({events[0]["sessionId"], events[0]["payload"]["sessionId"]}),
            Json::array({"EARLIER", "EARLIER"}));
  EXPECT_TRUE(markerFiles().empty());
  EXPECT_EQ(CheckpointMetadata::configFetch(
                StageResult::failure,
                CacheStageResult{CacheStageResult::Type::load, StageResult::inProgress})
                .reportDictionary(),
            (Json{{"phase", "cache_read_progress"}}));
}

TEST_F(CrashMarkersTest, TrackerContextFollowsTimeSpentInBackground) {
  const std::vector<std::pair<double, std::string>> cases{{3, "background_immediate"},
                                                          {30, "background_uncertain"},
                                                          {60, "background_uncertain"},
                                                          {61, ""}};
  AppLifecycleObserver observer;
  for (const auto& [age, context] : cases) {
    SCOPED_TRACE(age);
    updateAdLoadPhase("n-unit", "load");
    observer.appDidEnterBackground();
    const double backgroundAt = platform::now();
    env.advance(age);
    auto events = detect();
    EXPECT_TRUE(markerFiles().empty());
    if (context.empty()) {
      EXPECT_TRUE(events.empty());
      continue;
    }
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["sessionId"], sessionIdentifier());
    const Json& payload = events[0]["payload"];
    EXPECT_EQ(
        Json::parse(payload["metadata"].get<std::string>()),
        (Json{{"phase", "load"}, {"unitId", "n-unit"}, {"context", context}, {"adAge", age}}));
    EXPECT_EQ(payload["lastLifecycleState"], "background");
    EXPECT_EQ(payload["lastLifecycleTimestamp"], backgroundAt);
    EXPECT_EQ(payload["crashTimestamp"], backgroundAt) << "the load's last update";
  }
  // A load that ended in the background leaves that state in force: one started later
  // and killed there, over 60 s after the app left, is no crash either.
  updateAdLoadPhase("n-unit", "load");
  observer.appDidEnterBackground();
  completeAdLoad("n-unit");
  env.advance(30);
  updateAdLoadPhase("m-unit", "start");
  env.advance(31);
  EXPECT_TRUE(detect().empty());
  // Back in the foreground the age does not matter.
  updateAdLoadPhase("n-unit", "sync");
  observer.appWillEnterForeground();
  env.advance(600);
  auto events = detect();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0]["payload"]["lastLifecycleState"], "foreground");
  EXPECT_NE(events[0]["payload"]["metadata"].get<std::string>().find(R"("context":"foreground")"),
            std::string::npos);
}

TEST_F(CrashMarkersTest, DisabledMarkersWriteNothingButOldFlagsAreStillReported) {
  setMarker(CrashMarkerCheckpoint::adUnitsResync, CheckpointMetadata::resync("unit-9"));
  setMarker(CrashMarkerCheckpoint::adCallback,
            CheckpointMetadata::adCallback({"onDismiss", {}, {}}));
  setEnableMarkerCheckpoints(false);
  setMarker(CrashMarkerCheckpoint::sdkInit);
  markAdShow(TiloAdInfo{TiloAdFormat::banner, "b", std::nullopt, std::nullopt});
  markAdCallback("onShown", std::nullopt);
  updateAdLoadPhase("b", "start");
  AppLifecycleObserver().appDidEnterBackground();
  clearMarker(CrashMarkerCheckpoint::adCallback);
  EXPECT_EQ(markerFiles(), Strings{"tilo_crash_ad_units_resync.flag"});

  auto events = detect();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0]["payload"]["metadata"], R"({"phase":"ad_units_resync","unitId":"unit-9"})");
  EXPECT_TRUE(markerFiles().empty());
}

// (The cached configuration's round trip: InitializationSequenceTest.)
TEST_F(CrashMarkersTest, AMarkersFolderDeletedUnderTheSdkIsFollowedOrMadeAgain) {
  writeCachedSdkConfig(SdkConfig{true});
  // A folder deleted and made again by someone else is followed...
  std::filesystem::remove_all(markersDirectory());
  writeMarker("sdkConfig.json", R"({"enableMarkerCheckpoints":true})");
  EXPECT_EQ(readCachedSdkConfig(), SdkConfig{true});
  // ... and one deleted for good is made again by the next write.
  std::filesystem::remove_all(markersDirectory());
  writeCachedSdkConfig(SdkConfig{false});
  EXPECT_EQ(readCachedSdkConfig(), SdkConfig{false});
}

}  // namespace
}  // namespace tilo::test
