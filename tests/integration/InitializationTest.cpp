#include <gtest/gtest.h>

#include "Tilo/backend/TiloAdUnitSynchronizer.h"
#include "Tilo/core/TiloAds.h"
#include "Tilo/core/TiloService.h"
#include "Tilo/telemetry/CrashMarkers.h"
#include "Tilo/telemetry/MarkerFiles.h"
#include "support/SdkFixture.h"

namespace tilo {
namespace {

using test::SdkFixture;

struct Initialization {
  std::optional<std::optional<TiloError>> outcome;
  bool onMain = false;
  int calls = 0;

  void start() {
    TiloAds::shared().initialized([this](std::optional<TiloError> error) {
      ++calls;
      onMain = platform::isMainThread();
      outcome = std::move(error);
    });
  }
  bool finished() const { return outcome.has_value(); }
};

bool initialized() {
  return TiloAds::shared().core()->tiloAdProvider()->isInitialized();
}

std::optional<std::string> markerFile(const char* name) {
  return crashMarkerFileQueue().sync([&] { return readMarkerFile(name); });
}

TEST(InitializationTest, SucceedsAgainstTheBackendAndPreparesTheNextStart) {
  SdkFixture sdk;
  Initialization init;
  init.start();
  ASSERT_TRUE(sdk.drive([&] { return init.finished(); }));
  EXPECT_EQ(*init.outcome, std::nullopt);
  EXPECT_TRUE(init.onMain);
  EXPECT_TRUE(initialized());
  auto info = TiloAds::shared().core()->currentAppInfo();
  ASSERT_TRUE(info);
  EXPECT_EQ(info->item("banner-unit")->refreshInterval, 45.0);
  EXPECT_EQ(info->item("interstitial-unit")->feeRate->description(), "0.15");
  EXPECT_EQ(sdk.server()->requestCount(), 1u);
  EXPECT_EQ(markerFile("tilo_crash_sdk_init.flag"), std::nullopt);

  // Checkpoints stay off in this process although the backend switched them on; the
  // stored switch turns them on at the next start.
  EXPECT_FALSE(enableMarkerCheckpoints());
  EXPECT_EQ(readCachedSdkConfig(), SdkConfig{true});
  sdk.relaunch();
  TiloAds::shared();
  EXPECT_TRUE(enableMarkerCheckpoints());
  sdk.env().advance(10);
  EXPECT_EQ(init.calls, 1);
}

TEST(InitializationTest, FailingBackendFallsBackToTheCacheOfAnEarlierRun) {
  SdkFixture sdk;
  Initialization first;
  first.start();
  ASSERT_TRUE(sdk.drive([&] { return first.finished(); }));
  ASSERT_EQ(*first.outcome, std::nullopt);

  sdk.relaunch();
  sdk.server()->setFailFirst(100, 503);
  const std::size_t before = sdk.server()->requestCount();
  const double start = sdk.env().clock().uptime();
  Initialization second;
  second.start();
  ASSERT_TRUE(sdk.drive([&] { return second.finished(); }, 60));
  EXPECT_EQ(*second.outcome, std::nullopt);
  EXPECT_TRUE(initialized());
  // Three attempts with 2 + 4 + 8 s of sleep before the cache is used.
  EXPECT_EQ(sdk.server()->requestCount() - before, 3u);
  EXPECT_DOUBLE_EQ(sdk.env().clock().uptime() - start, 14.0);
  auto info = TiloAds::shared().core()->currentAppInfo();
  ASSERT_TRUE(info);
  EXPECT_NE(info->item("banner-unit"), nullptr);
  EXPECT_EQ(info->sdkConfig, std::nullopt);
  EXPECT_EQ(markerFile("tilo_crash_config_fetch.flag"), std::nullopt);
}

TEST(InitializationTest, NoBackendAndNoCacheFailsAndStaysUninitialized) {
  SdkFixture sdk(test::SdkFixtureOptions::offline());
  Initialization init;
  init.start();
  ASSERT_TRUE(sdk.drive([&] { return init.finished(); }, 60));
  ASSERT_TRUE(*init.outcome);
  EXPECT_EQ((*init.outcome)->code(), TiloError::Code::initializationFailed);
  EXPECT_EQ((*init.outcome)->message(), "Initialization failed");
  EXPECT_TRUE(init.onMain);
  EXPECT_FALSE(sdk.drive([] { return initialized(); }, 60));
  EXPECT_EQ(TiloAds::shared().core()->currentAppInfo(), std::nullopt);
  EXPECT_EQ(init.calls, 1);
  EXPECT_EQ(markerFile("tilo_crash_sdk_init.flag"), std::nullopt);
}

TEST(InitializationTest, UnitMissingFromTheAppInfoTriggersOneResync) {
  SdkFixture sdk;
  Initialization init;
  init.start();
  ASSERT_TRUE(sdk.drive([&] { return init.finished(); }));

  // The dashboard gains a unit after the SDK started.
  auto withNewUnit = platform::parseJson(SdkFixture::defaultAppInfoJson());
  withNewUnit["adUnits"].push_back({{"tiloAdUnitId", "rewarded-unit"},
                                    {"mediationAdUnitId", "ca-app-pub-0/rewarded"},
                                    {"name", "Rewarded"},
                                    {"type", "rewarded"}});
  sdk.server()->setAppInfoJson(platform::dumpCompact(withNewUnit));
  const std::size_t before = sdk.server()->requestCount();

  auto sync = TiloAdUnitSynchronizer<int>::create(
      [](const TiloAdUnitItem&, Completion<int> done) { done(1); }, TiloAds::shared().core());
  std::optional<Result<TiloAdUnitItem>> found;
  std::optional<Result<TiloAdUnitItem>> other;
  sync->syncTiloAdUnit("rewarded-unit",
                       [&](Result<TiloAdUnitItem> r) { found.emplace(std::move(r)); });
  auto second = TiloAdUnitSynchronizer<int>::create(
      [](const TiloAdUnitItem&, Completion<int> done) { done(2); }, TiloAds::shared().core());
  second->syncTiloAdUnit("unknown-unit",
                         [&](Result<TiloAdUnitItem> r) { other.emplace(std::move(r)); });

  ASSERT_TRUE(sdk.drive([&] { return found && other; }, 10));
  ASSERT_TRUE(found->ok());
  EXPECT_EQ(found->value().mediationAdUnitId, "ca-app-pub-0/rewarded");
  EXPECT_EQ(found->value().feeRate->description(), "0.15");
  EXPECT_FALSE(other->ok());
  EXPECT_EQ(sdk.server()->requestCount() - before, 1u);
  EXPECT_FALSE(TiloAds::shared().core()->isResyncing());
}

}  // namespace
}  // namespace tilo
