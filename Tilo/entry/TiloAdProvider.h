// Prepares the ad networks and owns the initialized state every ad load waits for.
//
//   provider->initializeNetworks(config, privacy, [] { /* every network has answered */ });
//   provider->initializedPublisher().filter([](bool ready) { return ready; }).sink(...);
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Tilo/backend/AdProviding.h"
#include "Tilo/base/PrivacySettings.h"
#include "Tilo/base/TiloConfiguration.h"
#include "Tilo/networks/ADNetwork.h"
#include "platform/Reactive.h"

namespace tilo {

// How the last network initialization went: a network answering false is a failure
// that is tolerated, counted and named here.
struct NetworkInitializationSummary {
  std::size_t succeeded = 0;
  std::vector<std::string> failedNetworks;  // names, in start order

  bool operator==(const NetworkInitializationSummary&) const = default;
};

class TiloAdProvider final : public AdProviding,
                             public std::enable_shared_from_this<TiloAdProvider> {
 public:
  using NetworkListFactory =
      std::function<std::vector<std::shared_ptr<ADNetwork>>(const TiloConfiguration&)>;

  // `makeNetworks` defaults to the SDK's fixed adapter list.
  static std::shared_ptr<TiloAdProvider> create(NetworkListFactory makeNetworks = {});

  platform::Publisher<bool> initializedPublisher() override;
  bool isInitialized() const { return initializedSubject_->value().value_or(false); }

  // Applies privacy to and starts each network strictly one after the other; a network
  // answering false does not stop the others. Then sends true and calls `done` (on the
  // thread of the last network's answer).
  void initializeNetworks(const TiloConfiguration& configuration, const PrivacySettings& privacy,
                          std::function<void()> done);
  // Of the last initializeNetworks that finished; empty before the first.
  NetworkInitializationSummary lastNetworkInitialization() const;

  explicit TiloAdProvider(NetworkListFactory makeNetworks);

 private:
  struct Run;
  static void step(std::weak_ptr<TiloAdProvider> weak, std::shared_ptr<Run> run);

  NetworkListFactory makeNetworks_;
  std::shared_ptr<platform::CurrentValueSubject<bool>> initializedSubject_;
  mutable std::mutex mutex_;
  NetworkInitializationSummary lastSummary_;
};

}  // namespace tilo
