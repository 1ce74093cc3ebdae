// What ad objects need from the SDK service.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Tilo/backend/AdProviding.h"
#include "Tilo/base/TiloAppInfo.h"
#include "Tilo/base/TiloError.h"
#include "platform/Reactive.h"

namespace tilo {

struct TiloConfiguration;

class TiloServiceProtocol {
 public:
  virtual ~TiloServiceProtocol() = default;
  // Replays the latest application info; empty until the first fetch (or cache) answers.
  virtual platform::Publisher<std::optional<TiloAppInfo>> appInfoPublisher() = 0;
  // Re-fetches the application info unless a resync is already running.
  virtual void resync(const std::string& unitId) = 0;
  virtual std::shared_ptr<AdProviding> adProvider() = 0;
  // The unit's published record when the SDK is initialized and the application info
  // holds it; nullopt whenever a load has to wait (or resync) instead.
  virtual std::optional<TiloAdUnitItem> readyItem(const std::string& /*unitId*/) const {
    return std::nullopt;
  }
  // Why ad units cannot resolve, when the SDK knows better than a timeout: the backend
  // rejected the app key.
  virtual std::optional<TiloError> startupProblem() const { return std::nullopt; }
  virtual const TiloConfiguration& config() const = 0;
};

}  // namespace tilo
