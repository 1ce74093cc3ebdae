#include "Tilo/telemetry/AdLoadTracker.h"

#include "Tilo/telemetry/AppLifecycleObserver.h"
#include "Tilo/telemetry/CrashMarkers.h"
#include "Tilo/telemetry/JsonWriter.h"
#include "Tilo/telemetry/MarkerFiles.h"
#include "platform/Environment.h"

namespace tilo {

std::string AdLoadTracker::encode() const {
  std::string out;
  out.reserve(32 + loadingAds.size() * 96);
  JsonWriter json(out);
  json.beginObject().key("loadingAds").beginObject();
  for (const auto& [unitId, info] : loadingAds) {
    json.key(unitId).beginObject();
    json.field("currentPhase", info.currentPhase).field("lastUpdate", info.lastUpdate);
    if (info.adNetwork && !info.adNetwork->empty()) json.field("adNetwork", *info.adNetwork);
    json.endObject();
  }
  json.endObject().endObject();
  return out;
}

AdLoadTracker AdLoadTracker::decode(const platform::ParsedJson& json) {
  const auto& ads =
      platform::requireObject(platform::requiredValue(json, "loadingAds"), "loadingAds");
  platform::requireAtMost(ads, kMaxEntries, "loadingAds");
  AdLoadTracker tracker;
  for (const auto& [unitId, info] : ads.items()) {
    platform::requireObject(info, unitId);
    tracker.loadingAds.emplace(unitId,
                               LoadInfo{platform::required<std::string>(info, "currentPhase"),
                                        platform::required<double>(info, "lastUpdate"),
                                        platform::optional<std::string>(info, "adNetwork")});
  }
  return tracker;
}

std::optional<AdLoadTracker> readAdLoadTracker() {
  return crashMarkerFileQueue().sync([]() -> std::optional<AdLoadTracker> {
    auto text = readMarkerFile(kAdLoadTrackerFileName);
    if (!text) return std::nullopt;
    return decodeMarkerFile<AdLoadTracker>(*text);  // undecodable reads as no tracker
  });
}

void updateAdLoadPhase(const std::string& adUnitId, const std::string& phase) {
  if (!enableMarkerCheckpoints()) return;
  crashMarkerFileQueue().sync([&] {
    AdLoadTracker tracker = readAdLoadTracker().value_or(AdLoadTracker{});
    auto& entry = tracker.loadingAds[adUnitId];
    entry.currentPhase = phase;
    entry.lastUpdate = platform::now();
    writeMarkerFile(kAdLoadTrackerFileName, tracker.encode());
  });
}

void completeAdLoad(const std::string& adUnitId) {
  if (!enableMarkerCheckpoints()) return;
  crashMarkerFileQueue().sync([&] {
    auto tracker = readAdLoadTracker();
    if (!tracker) return;
    tracker->loadingAds.erase(adUnitId);
    // The lifecycle file stays: it still says where the application is, and a load started
    // later in the background and killed there must be judged by it at the next start.
    if (!tracker->loadingAds.empty()) {
      writeMarkerFile(kAdLoadTrackerFileName, tracker->encode());
    } else {
      removeMarkerFile(kAdLoadTrackerFileName);
    }
  });
}

void clearTrackerFiles() {
  crashMarkerFileQueue().sync([] {
    removeMarkerFile(kAdLoadTrackerFileName);
    removeMarkerFile(kLifecycleFileName);
  });
}

}  // namespace tilo
