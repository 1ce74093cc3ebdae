// Many ads loading at once on real threads with marker checkpoints on: every phase update,
// marker and tracker write goes through the one marker file queue from every pool worker
// and from the main thread at once. On a pool of exactly four workers and of exactly one,
// all 32 loads (four of each kind, through the C ABI) must complete. Runs under
// ThreadSanitizer too. It waits for the loads, never for a duration; the watchdog only
// bounds a failure (a deadlock ends the process).
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "Tilo/ads/TiloInterstitialAdLoader.h"
#include "Tilo/backend/NetworkClient.h"
#include "Tilo/base/ApiBaseUrl.h"
#include "Tilo/entry/TiloAds.h"
#include "Tilo/telemetry/AdLoadTracker.h"
#include "Tilo/telemetry/CrashMarkers.h"
#include "mediation/AdSource.h"
#include "platform/AppContainer.h"
#include "platform/Application.h"
#include "platform/Bundle.h"
#include "platform/FileSystem.h"
#include "platform/Json.h"
#include "platform/MainLoop.h"
#include "support/PoolEnvironment.h"
#include "support/SdkFixture.h"
#include "support/TempDir.h"
#include "support/Watchdog.h"
#include "tilo/tilo.h"
#include "tools/devserver/DevServer.h"

namespace tilo::test {
namespace {

constexpr const char* kAppKey = "pool-stress-app-key";
constexpr int kPerKind = 4;

// The eight kinds, in the order of `Kind` below, as their units are named (a line
// banner's units are native ones).
constexpr std::array<const char*, 8> kKinds = {"interstitial", "rewarded", "appOpen", "banner",
                                               "mrec",         "native",   "line",    "lightPopup"};
enum Kind { interstitial, rewarded, appOpen, banner, mrec, native, line, lightPopup };

std::string unitId(int kind, int n) {
  return std::string(kKinds[kind]) + "-" + std::to_string(n);
}

// Four units of every kind; no refresh, so each view loads exactly once.
std::string appInfoJson() {
  std::vector<std::string> units;
  for (int kind = 0; kind < static_cast<int>(kKinds.size()); ++kind) {
    for (int n = 0; n < kPerKind; ++n)
      units.push_back(unitId(kind, n) + ":" + (kind == line ? "native" : kKinds[kind]));
  }
  auto info = platform::Json::parse(SdkFixture::appInfoJson(units));
  info["sdkConfig"] = {{"enableMarkerCheckpoints", true}};
  return info.dump();
}

struct Outcome {
  std::atomic<int> loaded{0};
  std::atomic<int> failed{0};
};

// What the C callbacks of one kind report into.
std::array<Outcome, 8> outcomes;

void popupLoaded(void*, tilo_light_popup_ad_loader*, tilo_light_popup_ad* ad, const tilo_ad_info*) {
  ++outcomes[lightPopup].loaded;
  tilo_light_popup_ad_destroy(ad);
}

int completed() {
  int total = 0;
  for (const auto& outcome : outcomes) total += outcome.loaded + outcome.failed;
  return total;
}

// A delegate of kind K that counts into outcomes[K]: full-screen kinds name their failure
// did_fail_to_load, the others did_fail_with_error; the popup loader's did_load differs.
template <class Delegate, int K>
Delegate countingDelegate() {
  Delegate delegate{};
  delegate.size = sizeof delegate;
  if constexpr (K == lightPopup) {
    delegate.did_load = popupLoaded;
  } else {
    delegate.did_load = [](void*, auto*, const tilo_ad_info*) { ++outcomes[K].loaded; };
  }
  auto failed = [](void*, auto*, const tilo_error*) { ++outcomes[K].failed; };
  if constexpr (requires { delegate.did_fail_to_load; }) {
    delegate.did_fail_to_load = failed;
  } else {
    delegate.did_fail_with_error = failed;
  }
  return delegate;
}

class PoolStressTest : public ::testing::TestWithParam<unsigned> {
 protected:
  void SetUp() override {
    for (auto& outcome : outcomes) outcome.loaded = outcome.failed = 0;
    SdkFixture::writeBundle(bundle.path(), kAppKey, "com.tilo.stress");
    server = SdkFixture::startBackend(kAppKey, appInfoJson());
    platform::Bundle::setMainBundleDirectory(bundle.path());
    platform::AppContainer::setPath(container.path());
    setApiBaseUrlOverride(server->baseUrl());
    TiloAds::resetSharedForTesting();
    mediation::AdSource::shared().reset();
    platform::Application::shared().resetForTesting();
    // An earlier launch cached the switch: marker checkpoints are on from the start.
    writeCachedSdkConfig(SdkConfig{true});
  }

  void TearDown() override {
    // Uploads still out would reach the next test's backend.
    platform::MainLoop::shared()->runUntil([] { return NetworkClient::requestsInFlight() == 0; },
                                           30);
    TiloAds::resetSharedForTesting();
    if (server) server->stop();
    mediation::AdSource::shared().reset();
    setApiBaseUrlOverride(std::nullopt);
    platform::Bundle::setMainBundleDirectory(std::nullopt);
    platform::AppContainer::setPath(std::nullopt);
  }

  PoolEnvironment pool{GetParam()};
  TempDir bundle;
  TempDir container;
  std::shared_ptr<devserver::DevServer> server;
};

TEST_P(PoolStressTest, ThirtyTwoConcurrentLoadsOfEveryKindAllComplete) {
  Watchdog watchdog(120, "32 concurrent loads on " + std::to_string(GetParam()) + " workers");
  bool initialized = false;
  ASSERT_EQ(tilo_initialize([](void* done, const tilo_error*) { *static_cast<bool*>(done) = true; },
                            &initialized),
            TILO_STATUS_OK);
  ASSERT_TRUE(enableMarkerCheckpoints());

  // A start screen: every ad is asked for at once, while the SDK is still starting.
  tilo_window* window = tilo_window_create(390, 844, 3);
  ASSERT_NE(window, nullptr);
  std::vector<std::function<tilo_status()>> destroy;
  // Made with its delegate (copied by the SDK); destroyed at the end.
  auto made = [&](auto* handle, auto setDelegate, const auto& delegate, auto destroyIt) {
    destroy.push_back([=] { return destroyIt(handle); });
    EXPECT_EQ(setDelegate(handle, &delegate, nullptr), TILO_STATUS_OK);
    return handle;
  };
#define TILO_MADE(kind, K, ...)                                       \
  made(tilo_##kind##_create(__VA_ARGS__), tilo_##kind##_set_delegate, \
       countingDelegate<tilo_##kind##_delegate, K>(), tilo_##kind##_destroy)
  for (int n = 0; n < kPerKind; ++n) {
    const auto unit = [n](Kind kind) { return unitId(kind, n); };
    ASSERT_EQ(tilo_interstitial_ad_load(
                  TILO_MADE(interstitial_ad, interstitial, unit(interstitial).c_str())),
              TILO_STATUS_OK);
    ASSERT_EQ(tilo_rewarded_ad_load(TILO_MADE(rewarded_ad, rewarded, unit(rewarded).c_str())),
              TILO_STATUS_OK);
    ASSERT_EQ(tilo_app_open_ad_load(TILO_MADE(app_open_ad, appOpen, unit(appOpen).c_str())),
              TILO_STATUS_OK);

    // The views load once placed (the line banner when asked).
    const double y = 60.0 * n;
    auto* bannerView =
        TILO_MADE(banner_view, banner, unit(banner).c_str(), TILO_BANNER_SIZE_BANNER, 1);
    ASSERT_EQ(tilo_window_add_view_pinned(window, bannerView, n % 2, 50), TILO_STATUS_OK);
    auto* mrecView = TILO_MADE(banner_view, mrec, unit(mrec).c_str(), TILO_BANNER_SIZE_MREC, 1);
    ASSERT_EQ(tilo_window_add_view(window, mrecView, {45, 240 + y, 300, 250}), TILO_STATUS_OK);
    auto* nativeView = TILO_MADE(native_view, native, unit(native).c_str(), 1);
    ASSERT_EQ(tilo_window_add_view(window, nativeView, {0, 500 + y, 390, 100}), TILO_STATUS_OK);
    auto* lineView = TILO_MADE(line_banner_view, line, unit(line).c_str(), 1);
    ASSERT_EQ(tilo_window_add_view(window, lineView, {0, 100 + y, 390, 60}), TILO_STATUS_OK);
    ASSERT_EQ(tilo_line_banner_view_load_ad(lineView), TILO_STATUS_OK);
    ASSERT_EQ(tilo_light_popup_ad_loader_load_ad(
                  TILO_MADE(light_popup_ad_loader, lightPopup, unit(lightPopup).c_str())),
              TILO_STATUS_OK);
  }
#undef TILO_MADE
  destroy.push_back([window] { return tilo_window_destroy(window); });

  // The host's frame loop. Its time limit is far beyond what the loads need.
  const bool done = platform::MainLoop::shared()->runUntil(
      [&] { return initialized && completed() == kPerKind * 8; }, 180);
  EXPECT_TRUE(done);
  for (int kind = 0; kind < static_cast<int>(kKinds.size()); ++kind) {
    EXPECT_EQ(outcomes[kind].loaded, kPerKind) << kKinds[kind];
    EXPECT_EQ(outcomes[kind].failed, 0) << kKinds[kind];
  }
  // Every load left the tracker, whose last completion deleted it.
  EXPECT_FALSE(platform::FileSystem::exists(markersDirectory() / kAdLoadTrackerFileName));

  for (auto& destroyOne : destroy) EXPECT_EQ(destroyOne(), TILO_STATUS_OK);
}

// Loads finish on pool threads; the host's listener hears the ad's impression and click on
// the main thread all the same.
TEST_P(PoolStressTest, ImpressionsAndClicksReachTheHostOnTheMainThread) {
  Watchdog watchdog(60, "an interstitial shown on real threads");
  ASSERT_FALSE(mediation::AdSource::shared().loadScenario(
      platform::parseJson(R"({"default":{"click":true,"dismissAfterMs":0}})")));
  TiloAds::shared()->initialized(nullptr);
  auto loader = TiloInterstitialAdLoader::create(TiloAdUnit{unitId(interstitial, 0), std::nullopt});
  std::vector<std::string> heard;
  auto record = [&heard](const char* what) {
    return [&heard, what](std::optional<TiloAdInfo>) {
      heard.push_back(std::string(what) + (platform::isMainThread() ? " on main" : " elsewhere"));
    };
  };
  loader->listener()->onAdImpression = record("impression");
  loader->listener()->onAdClicked = record("click");
  loader->listener()->onAdLoadSuccess = [](auto ad, auto) { ad->show(); };
  loader->load();
  ASSERT_TRUE(platform::MainLoop::shared()->runUntil([&] { return heard.size() == 2; }, 30));
  EXPECT_EQ(heard, (std::vector<std::string>{"impression on main", "click on main"}));
}

INSTANTIATE_TEST_SUITE_P(Workers, PoolStressTest, ::testing::Values(4u, 1u),
                         [](const auto& info) { return std::to_string(info.param); });

}  // namespace
}  // namespace tilo::test
