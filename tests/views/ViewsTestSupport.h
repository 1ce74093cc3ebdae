// An initialized SDK with banner, MREC and native units, a scripted ad source, a phone
// window and debug logging captured, for the ad view tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Tilo/ads/TiloAdListener.h"
#include "Tilo/backend/NetworkClient.h"
#include "Tilo/entry/TiloAds.h"
#include "Tilo/telemetry/AdEventLogger.h"
#include "Tilo/telemetry/AdLoadTracker.h"
#include "Tilo/telemetry/CrashMarkers.h"
#include "ads/FullScreenTestSupport.h"
#include "mediation/AdSource.h"
#include "platform/Application.h"
#include "platform/Json.h"
#include "platform/ui/UIWindow.h"
#include "support/InitializedSdkTest.h"

namespace tilo::test {

inline SdkFixtureOptions viewsSdkOptions() {
  SdkFixtureOptions options;
  // Amazon slots for both banner sizes (the default key file has the banner's only).
  auto config = platform::Json::parse(SdkFixture::defaultConfigJson(options.appKey));
  config["apsSlotUUIDs"].push_back({{"type", "mrec"}, {"uuid", "slot-mrec-1"}});
  options.configJson = config.dump();
  options.appInfoJson =
      R"({"adUnits":[)"
      R"({"tiloAdUnitId":"banner-unit","mediationAdUnitId":"gad/banner","name":"B","type":"banner","refreshInterval":30},)"
      R"({"tiloAdUnitId":"mrec-unit","mediationAdUnitId":"gad/mrec","name":"M","type":"mrec","refreshInterval":0},)"
      R"({"tiloAdUnitId":"native-unit","mediationAdUnitId":"gad/native","name":"N","type":"native","refreshInterval":60}],)"
      R"("feeRate":0.15,"sdkConfig":{"enableMarkerCheckpoints":true}})";
  return options;
}

class ViewsTest : public InitializedSdkTest {
 protected:
  ViewsTest() : InitializedSdkTest(viewsSdkOptions()) {}
  void SetUp() override {
    InitializedSdkTest::SetUp();
    window = platform::UIWindow::create({390, 844}, 3, {47, 0, 34, 0});
  }

  static std::size_t loadsOf(const std::string& mediationUnit) {
    return mediation::AdSource::shared().loadCount(mediationUnit);
  }
  // Wire names of the queued ad events, in order.
  static std::vector<std::string> adEvents() {
    std::vector<std::string> out;
    for (const auto& event : queuedAdEvents()) out.push_back(event.first);
    return out;
  }
  // The flag of `checkpoint` on disk now, as "phase unit network" ("-" for an absent
  // field); "none" without a flag.
  static std::string marker(CrashMarkerCheckpoint checkpoint) {
    const auto meta = markerOnDisk(checkpoint);
    if (!meta) return "none";
    return meta->phase + " " + meta->adUnitId.value_or("-") + " " + meta->adNetwork.value_or("-");
  }
  static std::string callbackMarker() { return marker(CrashMarkerCheckpoint::adCallback); }
  // Records every host callback of `host` into the lists below, and in `seen` the
  // ad-callback marker each one runs inside.
  void record(TiloAdListener<TiloAdUnit>& host) {
    host.onAdLoadSuccess = [this](auto, std::optional<TiloAdInfo> i) {
      seen.push_back(callbackMarker());
      successes.push_back(*i);
    };
    host.onAdLoadFail = [this](const TiloError& error) {
      seen.push_back(callbackMarker());
      failures.push_back(error);
    };
    host.onAdImpression = [this](auto info) {
      seen.push_back(callbackMarker());
      impressions.push_back(*info);
    };
    host.onAdClicked = [this](auto info) {
      seen.push_back(callbackMarker());
      clicks.push_back(*info);
    };
  }
  // The unit's entry in the ad-load tracker on disk; nullopt when it has none.
  static std::optional<AdLoadTracker::LoadInfo> tracked(const std::string& unit) {
    auto tracker = readAdLoadTracker();
    if (!tracker || !tracker->loadingAds.contains(unit)) return std::nullopt;
    return tracker->loadingAds.at(unit);
  }
  // Advances the mock clock by `after`, runs what is due, then lays the window out (which
  // may start more work).
  void settle(double after = 0) {
    if (after > 0) sdk.env().advance(after);
    sdk.env().runUntilIdle();
    window->layoutIfNeeded();
    sdk.env().runUntilIdle();
  }

  std::vector<TiloAdInfo> successes, impressions, clicks;
  std::vector<TiloError> failures;
  std::vector<std::string> seen;
  std::shared_ptr<platform::UIWindow> window;
};

}  // namespace tilo::test
