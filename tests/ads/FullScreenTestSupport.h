// A fresh, initialized SDK with three full-screen units, a scripted ad source and debug
// logging captured, for the full-screen ad tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "Tilo/ads/TiloAppOpenAdLoader.h"
#include "Tilo/ads/TiloInterstitialAdLoader.h"
#include "Tilo/ads/TiloRewardedAdLoader.h"
#include "Tilo/entry/TiloAds.h"
#include "Tilo/telemetry/AdEventLogger.h"
#include "Tilo/telemetry/CrashMarkers.h"
#include "mediation/AdSource.h"
#include "support/InitializedSdkTest.h"

namespace tilo::test {

inline SdkFixtureOptions fullScreenSdkOptions() {
  SdkFixtureOptions options;
  options.appInfoJson =
      R"({"adUnits":[)"
      R"({"tiloAdUnitId":"interstitial-unit","mediationAdUnitId":"gad/inter","name":"I","type":"interstitial"},)"
      R"({"tiloAdUnitId":"rewarded-unit","mediationAdUnitId":"gad/rewarded","name":"R","type":"rewarded"},)"
      R"({"tiloAdUnitId":"appopen-unit","mediationAdUnitId":"gad/appopen","name":"A","type":"appOpen"}],)"
      R"("feeRate":0.15,"sdkConfig":{"enableMarkerCheckpoints":true}})";
  return options;
}

// "format unit latency network", "-" for an absent field.
inline std::string describe(const TiloAdInfo& info) {
  std::ostringstream out;
  out << rawValue(info.adFormat) << ' ' << info.adUnitId << ' ';
  info.latency ? out << *info.latency : out << '-';
  out << ' ' << info.adNetwork.value_or("-");
  return out.str();
}

// The metadata of the `checkpoint` marker on disk now (an ad callback's or a native ad's:
// phase, unit and network); nullopt when there is none, and an exception when it is
// undecodable or of another kind.
inline std::optional<AdMetaData> markerOnDisk(CrashMarkerCheckpoint checkpoint) {
  auto text = crashMarkerFileQueue().sync([&] { return readMarkerFile(flagFileName(checkpoint)); });
  if (!text) return std::nullopt;
  const auto info = CrashMarkerInfo::decode(platform::parseJson(*text));
  const auto& value = info.metadata.value().value;
  return checkpoint == CrashMarkerCheckpoint::nativeAd ? std::get<4>(value) : std::get<3>(value);
}

class FullScreenTest : public InitializedSdkTest {
 protected:
  FullScreenTest() : InitializedSdkTest(fullScreenSdkOptions()) {}

  // Loads once and returns the delivered ad (null on failure), running due work only.
  template <class Loader>
  static auto loadNow(const std::shared_ptr<Loader>& loader, platform::TestEnvironment& env) {
    std::optional<std::shared_ptr<std::remove_reference_t<decltype(*loader->ad())>>> result;
    loader->loadAd([&](auto outcome) { result = outcome ? outcome.value() : nullptr; });
    env.runUntilIdle();
    return result.value_or(nullptr);
  }

  static std::optional<AdMetaData> adCallbackMarker() {
    return markerOnDisk(CrashMarkerCheckpoint::adCallback);
  }
  static std::string markerPhase() {
    auto marker = adCallbackMarker();
    return marker ? marker->phase : "none";
  }
};

}  // namespace tilo::test
