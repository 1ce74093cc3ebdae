// The listener every ad kind reports through. Each closure is optional: an empty one is
// skipped. The SDK calls them on the main thread.
//
//   auto loader = TiloInterstitialAdLoader::create(TiloAdUnit{"unit-1"});
//   loader->listener()->onAdLoadSuccess = [](std::shared_ptr<TiloInterstitialAd> ad,
//                                            std::optional<TiloAdInfo> info) { ... };
//   loader->listener()->onAdLoadFail = [](const TiloError& error) { ... };
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "Tilo/base/TiloAdInfo.h"
#include "Tilo/base/TiloError.h"
#include "Tilo/base/TiloRevenueInfo.h"

namespace tilo {

template <class Ad>
class TiloAdListener {
 public:
  static std::shared_ptr<TiloAdListener> create() { return std::make_shared<TiloAdListener>(); }

  std::function<void(std::shared_ptr<Ad>, std::optional<TiloAdInfo>)> onAdLoadSuccess;
  std::function<void(const TiloError&)> onAdLoadFail;
  std::function<void(std::optional<TiloAdInfo>)> onAdClicked;
  std::function<void(std::optional<TiloAdInfo>)> onAdImpression;
  // Revenue after the fee; the SDK uses it to forward paid events to plugins.
  std::function<void(std::optional<TiloAdInfo>, const TiloRevenueInfo&)> onAdInternalEvent;
};

// An ad object whose clicks, impressions and revenue go through `listener()`.
template <class Ad>
class HasAdListener {
 public:
  virtual ~HasAdListener() = default;
  virtual const std::shared_ptr<TiloAdListener<Ad>>& listener() const = 0;
};

}  // namespace tilo
