// What a native view holds as its loader.
#pragma once

#include <memory>

#include "Tilo/ads/TiloAdListener.h"
#include "Tilo/base/Result.h"
#include "Tilo/views/TiloAdNative.h"

namespace tilo {

class AdNativeLoadable {
 public:
  virtual ~AdNativeLoadable() = default;
  // Clicks, impressions and revenue of the ads it loaded.
  virtual const std::shared_ptr<TiloAdListener<void>>& listener() const = 0;
  // Seconds, from the resolved unit.
  virtual double refreshInterval() const = 0;
  // Loads one ad; `completion` runs once on the main thread with it or a TiloError.
  virtual void loadAd(Completion<TiloAdNative> completion) = 0;
};

}  // namespace tilo
