// What every native ad does the same way, whether the SDK draws it in a view or the host
// draws its assets itself: a load bracketed by the ad-load tracker, and clicks and
// impressions reported to the host inside the ad-callback crash marker.
//
//   runTrackedNativeLoad(unit.unitId, weakLoader, [](auto loader, auto result) { ... });
//   events->onAdClicked = [weak](std::optional<TiloAdInfo> info) {
//     if (auto self = weak.lock()) reportNativeClick(self->unitId(), info, listener->onAdClicked);
//   };
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Tilo/base/Result.h"
#include "Tilo/base/TiloAdInfo.h"
#include "Tilo/base/TiloError.h"
#include "Tilo/views/AdNativeLoadable.h"

namespace tilo {

using NativeAdEventClosure = std::function<void(std::optional<TiloAdInfo>)>;

// Logs "Native Ad clicked <unit>" and calls `closure` (may be empty) in the marker.
void reportNativeClick(const std::string& unitId, const std::optional<TiloAdInfo>& info,
                       NativeAdEventClosure closure);
// Logs "Native Ad Impression <unit>" and calls `closure` (may be empty) in the marker.
void reportNativeImpression(const std::string& unitId, const std::optional<TiloAdInfo>& info,
                            NativeAdEventClosure closure);

// One load through `loader`: the tracker's "start" and "load" phases on a background task
// (when marker checkpoints are on), the load on the main thread, and the tracker entry
// closed whatever the outcome. `done` runs on the main thread with the loader and its
// answer, or with a null loader and no answer when the loader was released before it
// could load or answer.
using TrackedNativeLoadDone =
    std::function<void(std::shared_ptr<AdNativeLoadable>, std::optional<Result<TiloAdNative>>)>;
void runTrackedNativeLoad(const std::string& unitId, std::weak_ptr<AdNativeLoadable> loader,
                          TrackedNativeLoadDone done);

}  // namespace tilo
