#include <gtest/gtest.h>

#include "Tilo/backend/TiloAdUnitSynchronizer.h"
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

// Without a cache a backend that refused the app key fails the start, saying so, and to
// every load after it. (With the cache of an earlier run the SDK starts at once whatever the
// backend answers: InitializationSequenceTest, TiloApiTest.)
TEST(InitializationTest, ARefusedAppKeyFailsTheStartAndEveryLoadSayingWhy) {
  SdkFixture sdk;
  sdk.server()->setFailFirst(100, 401);
  TiloAds::shared();
  setEnableMarkerCheckpoints(true);  // so that a leftover sdk_init flag would show
  std::vector<std::string> heard;    // each completion: its error, its thread, the sdk_init flag
  TiloAds::shared()->initialized([&](std::optional<TiloError> error) {
    heard.push_back((error ? error->debugDescription() : "ok") +
                    (platform::isMainThread() ? " on main" : " elsewhere") +
                    (markerFile("tilo_crash_sdk_init.flag") ? " before the flag's removal" : ""));
  });
  ASSERT_TRUE(sdk.drive([&] { return !heard.empty(); }, 60));
  const std::string rejected = TiloError::appKeyRejected().message();
  std::optional<Result<TiloAdUnitItem>> found;
  auto sync = TiloAdUnitSynchronizer<int>::create(
      [](const TiloAdUnitItem&, Completion<int> done) { done(1); }, TiloAds::shared()->core());
  sync->syncTiloAdUnit("u", [&](Result<TiloAdUnitItem> r) { found.emplace(std::move(r)); });
  ASSERT_TRUE(sdk.drive([&] { return found.has_value(); }, 10));
  ASSERT_TRUE(std::get_if<TiloError>(found->error()));
  EXPECT_EQ(std::get_if<TiloError>(found->error())->message(), rejected);
  EXPECT_FALSE(
      sdk.drive([] { return TiloAds::shared()->core()->tiloAdProvider()->isInitialized(); }, 60));
  // Once, and nothing published: InitializationSequenceTest.
  EXPECT_EQ(heard, std::vector<std::string>{"initializationFailed, " + rejected + " on main"});
  EXPECT_EQ(markerFile("tilo_crash_sdk_init.flag"), std::nullopt);
}

}  // namespace
}  // namespace tilo
