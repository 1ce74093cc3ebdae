// Many ads loading at once on real threads with marker checkpoints on: every phase update,
// marker and tracker write goes through the one marker file queue from every pool worker
// and from the main thread at once. On a pool of exactly four workers and of exactly one,
// all 32 loads (four of each kind, through the C ABI) must complete. Runs under
// ThreadSanitizer too. It waits for the loads, never for a duration; the watchdog only
// bounds a failure (a deadlock ends the process with what had completed).
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "Tilo/backend/NetworkClient.h"
#include "Tilo/core/ApiBaseUrl.h"
#include "Tilo/core/TiloAds.h"
#include "Tilo/telemetry/AdLoadTracker.h"
#include "Tilo/telemetry/CrashMarkers.h"
#include "mediation/AdSource.h"
#include "platform/Application.h"
#include "platform/Bundle.h"
#include "platform/FileSystem.h"
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

// The eight kinds, in the order of `Kind` below: the backend type of each one's units.
constexpr std::array<const char*, 8> kKinds = {"interstitial", "rewarded", "appOpen", "banner",
                                               "mrec",         "native",   "line",    "lightPopup"};
enum Kind { interstitial, rewarded, appOpen, banner, mrec, native, line, lightPopup };

std::string unitId(int kind, int n) {
  return std::string(kKinds[kind]) + "-" + std::to_string(n);
}

// Four units of every kind; no refresh, so each view loads exactly once.
std::string appInfoJson() {
  std::string units;
  for (int kind = 0; kind < static_cast<int>(kKinds.size()); ++kind) {
    const std::string type = kind == line ? "native" : kKinds[kind];
    for (int n = 0; n < kPerKind; ++n) {
      if (!units.empty()) units += ",";
      units += R"({"tiloAdUnitId":")" + unitId(kind, n) + R"(","mediationAdUnitId":"gad/)" +
               unitId(kind, n) + R"(","name":"S","type":")" + type + R"(","refreshInterval":0})";
    }
  }
  return R"({"adUnits":[)" + units +
         R"(],"feeRate":0.15,"sdkConfig":{"enableMarkerCheckpoints":true}})";
}

struct Outcome {
  std::atomic<int> loaded{0};
  std::atomic<int> failed{0};
};

// What the C callbacks of one kind report into.
std::array<Outcome, 8> outcomes;

template <int K, class Handle>
void didLoad(void*, Handle*, const tilo_ad_info*) {
  ++outcomes[K].loaded;
}
template <int K, class Handle>
void didFail(void*, Handle*, const tilo_error*) {
  ++outcomes[K].failed;
}
void popupLoaded(void*, tilo_light_popup_ad_loader*, tilo_light_popup_ad* ad, const tilo_ad_info*) {
  ++outcomes[lightPopup].loaded;
  tilo_light_popup_ad_destroy(ad);
}

int completed() {
  int total = 0;
  for (const auto& outcome : outcomes) total += outcome.loaded + outcome.failed;
  return total;
}

std::string progress() {
  std::string text = "completed loads:";
  for (int kind = 0; kind < static_cast<int>(kKinds.size()); ++kind) {
    text += std::string(" ") + kKinds[kind] + " " + std::to_string(outcomes[kind].loaded) + "+" +
            std::to_string(outcomes[kind].failed);
  }
  return text;
}

template <class Delegate>
Delegate delegateOfSize() {
  Delegate delegate{};
  delegate.size = sizeof delegate;
  return delegate;
}

class PoolStressTest : public ::testing::TestWithParam<unsigned> {
 protected:
  void SetUp() override {
    for (auto& outcome : outcomes) outcome.loaded = outcome.failed = 0;
    SdkFixture::writeInfoPlist(
        bundle.path(), {{"TiloAppKey", kAppKey}, {"CFBundleIdentifier", "com.tilo.stress"}});
    platform::FileSystem::atomicWrite(
        bundle.path() / "ios-tilo-key.txt",
        SdkFixture::sealKeyFile(kAppKey, SdkFixture::defaultConfigJson(kAppKey)));
    devserver::DevServerOptions options;
    options.appKey = kAppKey;
    options.appInfoJson = appInfoJson();
    std::string error;
    server = devserver::DevServer::start(options, &error);
    ASSERT_TRUE(server) << error;
    platform::Bundle::setMainBundleDirectory(bundle.path());
    platform::FileSystem::setApplicationContainer(container.path());
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
    platform::FileSystem::setApplicationContainer(std::nullopt);
  }

  PoolEnvironment pool{GetParam()};
  TempDir bundle;
  TempDir container;
  std::shared_ptr<devserver::DevServer> server;
};

TEST_P(PoolStressTest, ThirtyTwoConcurrentLoadsOfEveryKindAllComplete) {
  Watchdog watchdog(120, "32 concurrent loads on " + std::to_string(GetParam()) + " workers",
                    progress);
  const auto started = std::chrono::steady_clock::now();
  bool initialized = false;
  ASSERT_EQ(tilo_initialize([](void* done, const tilo_error*) { *static_cast<bool*>(done) = true; },
                            &initialized),
            TILO_STATUS_OK);
  ASSERT_TRUE(enableMarkerCheckpoints());

  // A start screen: every ad is asked for at once, while the SDK is still starting.
  tilo_window* window = tilo_window_create(390, 844, 3);
  ASSERT_NE(window, nullptr);
  auto interstitialDelegate = delegateOfSize<tilo_interstitial_ad_delegate>();
  interstitialDelegate.did_load = didLoad<interstitial>;
  interstitialDelegate.did_fail_to_load = didFail<interstitial>;
  auto rewardedDelegate = delegateOfSize<tilo_rewarded_ad_delegate>();
  rewardedDelegate.did_load = didLoad<rewarded>;
  rewardedDelegate.did_fail_to_load = didFail<rewarded>;
  auto appOpenDelegate = delegateOfSize<tilo_app_open_ad_delegate>();
  appOpenDelegate.did_load = didLoad<appOpen>;
  appOpenDelegate.did_fail_to_load = didFail<appOpen>;
  auto bannerDelegate = delegateOfSize<tilo_banner_view_delegate>();
  bannerDelegate.did_load = didLoad<banner>;
  bannerDelegate.did_fail_with_error = didFail<banner>;
  auto mrecDelegate = delegateOfSize<tilo_banner_view_delegate>();
  mrecDelegate.did_load = didLoad<mrec>;
  mrecDelegate.did_fail_with_error = didFail<mrec>;
  auto nativeDelegate = delegateOfSize<tilo_native_view_delegate>();
  nativeDelegate.did_load = didLoad<native>;
  nativeDelegate.did_fail_with_error = didFail<native>;
  auto lineDelegate = delegateOfSize<tilo_line_banner_view_delegate>();
  lineDelegate.did_load = didLoad<line>;
  lineDelegate.did_fail_with_error = didFail<line>;
  auto popupDelegate = delegateOfSize<tilo_light_popup_ad_loader_delegate>();
  popupDelegate.did_load = popupLoaded;
  popupDelegate.did_fail_with_error = didFail<lightPopup>;

  std::vector<tilo_interstitial_ad*> interstitials;
  std::vector<tilo_rewarded_ad*> rewardeds;
  std::vector<tilo_app_open_ad*> appOpens;
  std::vector<tilo_banner_view*> banners;
  std::vector<tilo_native_view*> natives;
  std::vector<tilo_line_banner_view*> lines;
  std::vector<tilo_light_popup_ad_loader*> popups;
  for (int n = 0; n < kPerKind; ++n) {
    auto* ad =
        interstitials.emplace_back(tilo_interstitial_ad_create(unitId(interstitial, n).c_str()));
    ASSERT_EQ(tilo_interstitial_ad_set_delegate(ad, &interstitialDelegate, nullptr),
              TILO_STATUS_OK);
    ASSERT_EQ(tilo_interstitial_ad_load(ad), TILO_STATUS_OK);
    auto* reward = rewardeds.emplace_back(tilo_rewarded_ad_create(unitId(rewarded, n).c_str()));
    ASSERT_EQ(tilo_rewarded_ad_set_delegate(reward, &rewardedDelegate, nullptr), TILO_STATUS_OK);
    ASSERT_EQ(tilo_rewarded_ad_load(reward), TILO_STATUS_OK);
    auto* open = appOpens.emplace_back(tilo_app_open_ad_create(unitId(appOpen, n).c_str()));
    ASSERT_EQ(tilo_app_open_ad_set_delegate(open, &appOpenDelegate, nullptr), TILO_STATUS_OK);
    ASSERT_EQ(tilo_app_open_ad_load(open), TILO_STATUS_OK);

    const double y = 60.0 * n;
    auto* bannerView = banners.emplace_back(
        tilo_banner_view_create(unitId(banner, n).c_str(), TILO_BANNER_SIZE_BANNER, 1));
    ASSERT_EQ(tilo_banner_view_set_delegate(bannerView, &bannerDelegate, nullptr), TILO_STATUS_OK);
    ASSERT_EQ(tilo_window_add_view_pinned(
                  window, bannerView, n % 2 ? TILO_WINDOW_EDGE_TOP : TILO_WINDOW_EDGE_BOTTOM, 50),
              TILO_STATUS_OK);
    auto* mrecView = banners.emplace_back(
        tilo_banner_view_create(unitId(mrec, n).c_str(), TILO_BANNER_SIZE_MREC, 1));
    ASSERT_EQ(tilo_banner_view_set_delegate(mrecView, &mrecDelegate, nullptr), TILO_STATUS_OK);
    ASSERT_EQ(tilo_window_add_view(window, mrecView, tilo_rect{45, 240 + y, 300, 250}),
              TILO_STATUS_OK);
    auto* nativeView = natives.emplace_back(tilo_native_view_create(unitId(native, n).c_str(), 1));
    ASSERT_EQ(tilo_native_view_set_delegate(nativeView, &nativeDelegate, nullptr), TILO_STATUS_OK);
    ASSERT_EQ(tilo_window_add_view(window, nativeView, tilo_rect{0, 500 + y, 390, 100}),
              TILO_STATUS_OK);
    auto* lineView = lines.emplace_back(tilo_line_banner_view_create(unitId(line, n).c_str(), 1));
    ASSERT_EQ(tilo_line_banner_view_set_delegate(lineView, &lineDelegate, nullptr), TILO_STATUS_OK);
    ASSERT_EQ(tilo_window_add_view(window, lineView, tilo_rect{0, 100 + y, 390, 60}),
              TILO_STATUS_OK);
    ASSERT_EQ(tilo_line_banner_view_load_ad(lineView), TILO_STATUS_OK);
    auto* popup =
        popups.emplace_back(tilo_light_popup_ad_loader_create(unitId(lightPopup, n).c_str()));
    ASSERT_EQ(tilo_light_popup_ad_loader_set_delegate(popup, &popupDelegate, nullptr),
              TILO_STATUS_OK);
    ASSERT_EQ(tilo_light_popup_ad_loader_load_ad(popup), TILO_STATUS_OK);
  }

  // The host's frame loop. Its time limit is far beyond what the loads need.
  const bool done = platform::MainLoop::shared()->runUntil(
      [&] { return initialized && completed() == kPerKind * 8; }, 180);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("32 loads on %u worker(s): %.2f s\n", GetParam(), seconds);
  EXPECT_TRUE(done) << progress();
  for (int kind = 0; kind < static_cast<int>(kKinds.size()); ++kind) {
    EXPECT_EQ(outcomes[kind].loaded, kPerKind) << kKinds[kind];
    EXPECT_EQ(outcomes[kind].failed, 0) << kKinds[kind];
  }
  // Every load left the tracker, whose last completion deleted it.
  EXPECT_FALSE(platform::FileSystem::exists(markersDirectory() / kAdLoadTrackerFileName));

  for (auto* ad : interstitials) EXPECT_EQ(tilo_interstitial_ad_destroy(ad), TILO_STATUS_OK);
  for (auto* ad : rewardeds) EXPECT_EQ(tilo_rewarded_ad_destroy(ad), TILO_STATUS_OK);
  for (auto* ad : appOpens) EXPECT_EQ(tilo_app_open_ad_destroy(ad), TILO_STATUS_OK);
  for (auto* view : banners) EXPECT_EQ(tilo_banner_view_destroy(view), TILO_STATUS_OK);
  for (auto* view : natives) EXPECT_EQ(tilo_native_view_destroy(view), TILO_STATUS_OK);
  for (auto* view : lines) EXPECT_EQ(tilo_line_banner_view_destroy(view), TILO_STATUS_OK);
  for (auto* loader : popups) EXPECT_EQ(tilo_light_popup_ad_loader_destroy(loader), TILO_STATUS_OK);
  EXPECT_EQ(tilo_window_destroy(window), TILO_STATUS_OK);
}

INSTANTIATE_TEST_SUITE_P(Workers, PoolStressTest, ::testing::Values(4u, 1u),
                         [](const auto& info) { return std::to_string(info.param); });

}  // namespace
}  // namespace tilo::test
