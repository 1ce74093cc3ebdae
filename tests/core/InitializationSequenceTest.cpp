#include <gtest/gtest.h>

#include "Tilo/base/NetworkError.h"
#include "Tilo/entry/TiloAdProvider.h"
#include "Tilo/entry/TiloAds.h"
#include "Tilo/entry/TiloService.h"
#include "Tilo/telemetry/CrashMarkers.h"
#include "Tilo/telemetry/MarkerFiles.h"
#include "platform/Device.h"
#include "support/RecordingTiloApi.h"
#include "support/SdkFixture.h"

namespace tilo {
namespace {

using test::RecordingTiloApi;
using test::SdkFixture;

std::optional<std::string> markerFile(const char* name) {
  return crashMarkerFileQueue().sync([&] { return readMarkerFile(name); });
}

TiloAppInfo appInfo(std::optional<bool> markers) {
  TiloAppInfo info;
  info.feeRate = *platform::Decimal::fromString("0.2");
  info.adUnits.push_back({"u1", "m1", "Unit 1", "banner", 30.0, info.feeRate});
  if (markers) info.sdkConfig = SdkConfig{*markers};
  return info;
}

// Records the order of calls and the marker in force; fails initialize only when the
// test says so.
struct FakeNetwork final : ADNetwork {
  FakeNetwork(std::string name, std::vector<std::string>* journal)
      : name_(std::move(name)), journal_(journal) {}
  std::string name() const override { return name_; }
  void applyPrivacy(const PrivacySettings& privacy) override {
    journal_->push_back(name_ + ".privacy");
    seenPrivacy = privacy;
    markerAtPrivacy = markerFile("tilo_crash_ad_network_init.flag");
  }
  void initialize(std::function<void(bool)> completion) override {
    journal_->push_back(name_ + ".initialize");
    markerAtInitialize = markerFile("tilo_crash_ad_network_init.flag");
    pending = std::move(completion);
  }
  void finish() { std::exchange(pending, {})(false); }

  std::string name_;
  std::vector<std::string>* journal_;
  std::function<void(bool)> pending;
  std::optional<PrivacySettings> seenPrivacy;
  std::optional<std::string> markerAtPrivacy, markerAtInitialize;
};

class InitializationSequenceTest : public ::testing::Test {
 protected:
  InitializationSequenceTest() : sdk_(test::SdkFixtureOptions::offline()) {}
  SdkFixture sdk_;
};

TEST_F(InitializationSequenceTest, NetworksStartOneAfterAnotherInsideMarkers) {
  setEnableMarkerCheckpoints(true);
  std::vector<std::string> journal;
  auto first = std::make_shared<FakeNetwork>("Pangle", &journal);
  auto second = std::make_shared<FakeNetwork>("AdMob", &journal);
  auto provider = TiloAdProvider::create([&](const TiloConfiguration&) {
    return std::vector<std::shared_ptr<ADNetwork>>{first, second};
  });
  ScopedLogCapture logs;
  setCurrentLogLevel(TiloLogLevel::debug);
  bool done = false;
  PrivacySettings privacy{true, std::nullopt, false, "gdpr", std::nullopt, std::nullopt};
  provider->initializeNetworks(TiloConfiguration{}, privacy, [&] { done = true; });
  sdk_.env().runUntilIdle();

  // 1. The second network waits until the first has answered.
  EXPECT_EQ(journal, (std::vector<std::string>{"Pangle.privacy", "Pangle.initialize"}));
  EXPECT_EQ(first->seenPrivacy, privacy);
  EXPECT_NE(first->markerAtPrivacy.value_or("").find("Pangle:privacy"), std::string::npos);
  EXPECT_NE(first->markerAtInitialize.value_or("").find("Pangle:preparing"), std::string::npos);
  first->finish();
  sdk_.env().runUntilIdle();
  EXPECT_EQ(journal.size(), 4u);
  EXPECT_NE(second->markerAtInitialize.value_or("").find("AdMob:preparing"), std::string::npos);
  EXPECT_FALSE(provider->isInitialized());

  // 2. Failures are tolerated, counted and named, every network's included.
  second->finish();
  sdk_.env().runUntilIdle();
  EXPECT_TRUE(done);
  EXPECT_TRUE(provider->isInitialized());
  EXPECT_EQ(provider->lastNetworkInitialization(),
            (NetworkInitializationSummary{0, {"Pangle", "AdMob"}}));
  EXPECT_EQ(logs.count("DEBUG 🚀 SDK 초기화 시작"), 1u);
  EXPECT_EQ(logs.count("DEBUG 🎯 광고 네트워크 초기화 완료"), 1u);
  EXPECT_EQ(logs.count("DEBUG 🏁 SDK 초기화 완료"), 1u);
  setCurrentLogLevel(TiloLogLevel::off);
}

TEST_F(InitializationSequenceTest, ServicePublishesStoresAndCompletesOnMain) {
  auto api = std::make_shared<RecordingTiloApi>();
  auto service = TiloService::create(TiloConfiguration{}, TiloAdProvider::create(), api, "secret");
  EXPECT_FALSE(enableMarkerCheckpoints());  // no sdkConfig.json yet

  std::vector<std::string> results;
  auto record = [&](std::optional<TiloError> error) {
    results.push_back((error ? error->debugDescription() : "ok") +
                      (platform::isMainThread() ? "" : " off main"));
  };

  // 1. Success: published, switches stored for the next start, networks run, main thread.
  service->initialize(PrivacySettings{}, record);
  ASSERT_EQ(api->fetchCalls.size(), 1u);
  api->fetchCalls[0](appInfo(true));
  ASSERT_TRUE(sdk_.drive([&] { return results.size() == 1; }));
  EXPECT_EQ(service->currentAppInfo(), appInfo(true));
  EXPECT_TRUE(service->tiloAdProvider()->isInitialized());
  EXPECT_EQ(readCachedSdkConfig(), SdkConfig{true});
  EXPECT_EQ(markerFile("tilo_crash_ad_network_init.flag"), std::nullopt);
  // The switch takes effect only for the next service, as after a relaunch.
  EXPECT_FALSE(enableMarkerCheckpoints());
  TiloService::create(TiloConfiguration{}, TiloAdProvider::create(), api, "secret");
  EXPECT_TRUE(enableMarkerCheckpoints());

  // 2. A failed fetch completes with "Initialization failed" and publishes nothing.
  auto fresh = TiloService::create(TiloConfiguration{}, TiloAdProvider::create(), api, "secret");
  fresh->initialize(PrivacySettings{}, record);
  api->fetchCalls.at(1)(Result<TiloAppInfo>::failure(NetworkError::maxRetriesExceeded(3)));
  sdk_.env().runUntilIdle();
  EXPECT_EQ(fresh->currentAppInfo(), std::nullopt);
  EXPECT_FALSE(fresh->tiloAdProvider()->isInitialized());

  // 3. An earlier run's cache starts the SDK before the backend answers; the answer, when
  //    it comes and differs, replaces the units.
  api->cached = appInfo(std::nullopt);
  auto cached = TiloService::create(TiloConfiguration{}, TiloAdProvider::create(), api, "secret");
  cached->initialize(PrivacySettings{}, record);
  ASSERT_TRUE(sdk_.drive([&] { return results.size() == 3; }));
  EXPECT_EQ(results,
            (std::vector<std::string>{"ok", "initializationFailed, Initialization failed", "ok"}));
  EXPECT_EQ(cached->currentAppInfo(), appInfo(std::nullopt));
  EXPECT_TRUE(cached->tiloAdProvider()->isInitialized());
  auto answer = appInfo(false);
  answer.adUnits[0].name = "Renamed";
  api->fetchCalls.at(2)(answer);
  EXPECT_EQ(cached->currentAppInfo(), answer);
  EXPECT_EQ(readCachedSdkConfig(), SdkConfig{false});
  EXPECT_EQ(results.size(), 3u) << "an answer after the cache completes nothing again";
}

TEST_F(InitializationSequenceTest, OneResyncAtATime) {
  auto api = std::make_shared<RecordingTiloApi>();
  auto service = TiloService::create(TiloConfiguration{}, TiloAdProvider::create(), api, "secret");
  setEnableMarkerCheckpoints(true);
  service->resync("a");
  service->resync("b");
  sdk_.env().runUntilIdle();
  ASSERT_EQ(api->retryCalls.size(), 1u);
  const auto& call = api->retryCalls[0];
  EXPECT_EQ(std::tie(call.maxRetries, call.initialDelay, call.delayMultiplier),
            std::make_tuple(3, 0.5, 1.0));
  EXPECT_TRUE(service->isResyncing());
  EXPECT_NE(markerFile("tilo_crash_ad_units_resync.flag"), std::nullopt);

  // A failure publishes nothing, clears its markers and allows the next resync.
  api->retryCalls[0].completion(Result<TiloAppInfo>::failure(TiloError::unspecified()));
  EXPECT_FALSE(service->isResyncing());
  EXPECT_EQ(service->currentAppInfo(), std::nullopt);
  EXPECT_EQ(markerFile("tilo_crash_ad_units_resync.flag"), std::nullopt);
  service->resync("b");
  sdk_.env().runUntilIdle();
  ASSERT_EQ(api->retryCalls.size(), 2u);
  // A success publishes, and clears the config_fetch marker the API's success left.
  setMarker(CrashMarkerCheckpoint::configFetch,
            CheckpointMetadata::configFetch(
                StageResult::success,
                CacheStageResult{CacheStageResult::Type::save, StageResult::inProgress}));
  api->retryCalls[1].completion(appInfo(std::nullopt));
  EXPECT_EQ(service->currentAppInfo(), appInfo(std::nullopt));
  EXPECT_EQ(markerFile("tilo_crash_config_fetch.flag"), std::nullopt);
  EXPECT_EQ(markerFile("tilo_crash_ad_units_resync.flag"), std::nullopt);
}

TEST_F(InitializationSequenceTest, PrivacySnapshotIsTakenAtTheCall) {
  auto& ads = *TiloAds::shared();
  platform::setTrackingAuthorizationStatus(platform::TrackingAuthorizationStatus::denied);
  EXPECT_EQ(ads.privacySnapshot(), PrivacySettings{});

  ads.setHasUserConsent(false);
  ads.setDoNotSell(true);
  ads.setGdprConsentString("CO-consent");
  ads.setCcpaString("1YNN");
  ads.setIsTaggedForChildDirectedTreatment(true);
  platform::setTrackingAuthorizationStatus(platform::TrackingAuthorizationStatus::authorized);
  EXPECT_EQ(ads.privacySnapshot(),
            (PrivacySettings{false, true, true, "CO-consent", "1YNN", true}));
  platform::setTrackingAuthorizationStatus(platform::TrackingAuthorizationStatus::notDetermined);
}

}  // namespace
}  // namespace tilo
