#include <gtest/gtest.h>

#include "Tilo/backend/TiloAdUnitSynchronizer.h"
#include "Tilo/base/NetworkError.h"
#include "Tilo/entry/TiloAds.h"
#include "Tilo/entry/TiloService.h"
#include "Tilo/telemetry/CrashMarkers.h"
#include "Tilo/telemetry/MarkerFiles.h"
#include "support/SdkFixture.h"

namespace tilo {
namespace {

using test::SdkFixture;

std::optional<std::string> markerFile(const char* name) {
  return crashMarkerFileQueue().sync([&] { return readMarkerFile(name); });
}

struct Initialization {
  std::optional<std::optional<TiloError>> outcome;
  bool onMain = false;
  bool sdkInitFlagInCompletion = false;
  int calls = 0;

  // Starts initialization and drives the SDK until it completes; false if it never does.
  bool run(SdkFixture& sdk) {
    TiloAds::shared()->initialized([this](std::optional<TiloError> error) {
      ++calls;
      onMain = platform::isMainThread();
      sdkInitFlagInCompletion = markerFile("tilo_crash_sdk_init.flag").has_value();
      outcome = std::move(error);
    });
    return sdk.drive([&] { return outcome.has_value(); }, 60);
  }
};

bool initialized() {
  return TiloAds::shared()->core()->tiloAdProvider()->isInitialized();
}

// Without a cache a failing backend fails the start (saying so, and to every load after it,
// when it refused the app key); with the cache of an earlier run, a backend that fails or
// answers what does not decode (1e999 in the fee rate) falls back to it.
TEST(InitializationTest, FailingBackendFailsWithoutCacheAndFallsBackToAnEarlierRunsCache) {
  test::SdkFixtureOptions options;
  options.appInfoJson =
      R"({"adUnits":[{"tiloAdUnitId":"u","mediationAdUnitId":"m","name":"n","type":"banner",)"
      R"("refreshInterval":1e999}],"feeRate":0.2,"sdkConfig":{"enableMarkerCheckpoints":true}})";
  SdkFixture sdk(options);
  sdk.server()->setFailFirst(100, 401);
  TiloAds::shared();
  setEnableMarkerCheckpoints(true);  // so that a leftover sdk_init flag would show
  Initialization failed;
  ASSERT_TRUE(failed.run(sdk));
  ASSERT_TRUE(*failed.outcome);
  EXPECT_EQ((*failed.outcome)->code(), TiloError::Code::initializationFailed);
  const std::string rejected = TiloError::appKeyRejected().message();
  EXPECT_EQ((*failed.outcome)->message(), rejected);
  EXPECT_TRUE(failed.onMain);
  std::optional<Result<TiloAdUnitItem>> found;
  auto sync = TiloAdUnitSynchronizer<int>::create(
      [](const TiloAdUnitItem&, Completion<int> done) { done(1); }, TiloAds::shared()->core());
  sync->syncTiloAdUnit("u", [&](Result<TiloAdUnitItem> r) { found.emplace(std::move(r)); });
  ASSERT_TRUE(sdk.drive([&] { return found.has_value(); }, 10));
  ASSERT_TRUE(std::get_if<TiloError>(found->error()));
  EXPECT_EQ(std::get_if<TiloError>(found->error())->message(), rejected);
  EXPECT_FALSE(sdk.drive([] { return initialized(); }, 60));
  EXPECT_EQ(failed.calls, 1);  // (and nothing published: InitializationSequenceTest)
  EXPECT_FALSE(failed.sdkInitFlagInCompletion) << "cleared before the host hears";
  EXPECT_EQ(markerFile("tilo_crash_sdk_init.flag"), std::nullopt);

  sdk.server()->setFailFirst(0, 503);
  sdk.relaunch();
  Initialization first;
  ASSERT_TRUE(first.run(sdk));
  ASSERT_EQ(*first.outcome, std::nullopt);
  EXPECT_FALSE(first.sdkInitFlagInCompletion);
  EXPECT_EQ(TiloAds::shared()->core()->currentAppInfo()->item("u")->refreshInterval, 30.0);

  const std::string u2 =
      R"({"adUnits":[{"tiloAdUnitId":"u2","mediationAdUnitId":"m","name":"n","type":"banner"}],)";
  for (const std::string failure : {"1e999", "-1e400", "503"}) {
    SCOPED_TRACE(failure);
    if (failure == "503") {
      sdk.server()->setFailFirst(100, 503);
    } else {
      sdk.server()->setAppInfoJson(u2 + R"("feeRate":)" + failure + "}");
    }
    sdk.relaunch();
    const std::size_t before = sdk.server()->requestCount();
    const double start = sdk.env().clock().uptime();
    Initialization next;
    ASSERT_TRUE(next.run(sdk));
    EXPECT_EQ(*next.outcome, std::nullopt);
    EXPECT_TRUE(initialized());
    // The cache starts the SDK at once, and a load made now finds its unit...
    EXPECT_LT(sdk.env().clock().uptime() - start, 1.0);
    std::optional<Result<TiloAdUnitItem>> unit;
    auto sync = TiloAdUnitSynchronizer<int>::create(
        [](const TiloAdUnitItem&, Completion<int> done) { done(1); }, TiloAds::shared()->core());
    sync->syncTiloAdUnit("u", [&](Result<TiloAdUnitItem> r) { unit.emplace(std::move(r)); });
    sdk.env().runUntilIdle();
    ASSERT_TRUE(unit && unit->ok());
    // ... while the fetch goes on: three attempts with 2 + 4 + 8 s of sleep, then the cache.
    ASSERT_TRUE(sdk.drive([&] { return !markerFile("tilo_crash_config_fetch.flag"); }, 60));
    EXPECT_EQ(sdk.server()->requestCount() - before, 3u);
    EXPECT_DOUBLE_EQ(sdk.env().clock().uptime() - start, 14.0);
    auto info = TiloAds::shared()->core()->currentAppInfo();
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->item("u"));
    EXPECT_FALSE(info->item("u2"));
    // (The cache keeps no switches, AppInfoTest; the one cached apart keeps markers on for
    // the next start, InitializationSequenceTest.)
    EXPECT_EQ(markerFile("tilo_crash_sdk_init.flag"), std::nullopt);
  }
}

}  // namespace
}  // namespace tilo
