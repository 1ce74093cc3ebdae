// The SDK's service: the decrypted configuration, the published application info, the
// backend API and the network initialization that ends the start-up sequence.
//
//   auto service = TiloService::create(config, TiloAdProvider::create(), api, appKey);
//   service->initialize(privacy, [](std::optional<TiloError> error) { ... });  // on main
//
// Creating it installs the process-wide event logger and reads "sdkConfig.json" to
// decide whether crash markers are recorded in this process.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Tilo/backend/TiloServiceProtocol.h"
#include "Tilo/base/PrivacySettings.h"
#include "Tilo/base/TiloApiProtocol.h"
#include "Tilo/base/TiloConfiguration.h"
#include "Tilo/base/TiloError.h"
#include "Tilo/entry/TiloAdProvider.h"
#include "platform/Reactive.h"

namespace tilo {

class TiloService final : public TiloServiceProtocol,
                          public std::enable_shared_from_this<TiloService> {
 public:
  using InitCompletion = std::function<void(std::optional<TiloError>)>;

  // `encryptionSecret` keys the event store (the app key from Info.plist).
  static std::shared_ptr<TiloService> create(TiloConfiguration config,
                                             std::shared_ptr<TiloAdProvider> adProvider,
                                             std::shared_ptr<TiloApiProtocol> tiloApi,
                                             const std::string& encryptionSecret);

  platform::Publisher<std::optional<TiloAppInfo>> appInfoPublisher() override;
  // One resync at a time: requests made while one runs are dropped, whatever the unit.
  void resync(const std::string& unitId) override;
  std::shared_ptr<AdProviding> adProvider() override { return adProvider_; }
  std::optional<TiloAdUnitItem> readyItem(const std::string& unitId) const override;
  const TiloConfiguration& config() const override { return config_; }
  std::optional<TiloError> startupProblem() const override;

  // Fetches the app info (retries, then cache), publishes it, stores its SdkConfig,
  // initializes the networks, then completes on the main thread. A fetch failure
  // completes with "Initialization failed" (saying so when the backend rejected the app
  // key) and leaves the SDK uninitialized. With a cache of an earlier run, the cached
  // units are published and the networks started at once; the fetch goes on, and its
  // answer, when it differs, replaces them.
  void initialize(const PrivacySettings& privacy, InitCompletion completion);

  std::optional<std::string> apsSlotUUID(TiloAdFormat format) const {
    return config_.apsSlotUUID(format);
  }
  std::optional<TiloAppInfo> currentAppInfo() const;
  bool isResyncing() const { return syncAppInfo_.load(); }
  const std::shared_ptr<TiloAdProvider>& tiloAdProvider() const { return adProvider_; }
  const std::shared_ptr<TiloApiProtocol>& tiloApi() const { return tiloApi_; }

  TiloService(TiloConfiguration config, std::shared_ptr<TiloAdProvider> adProvider,
              std::shared_ptr<TiloApiProtocol> tiloApi);

 private:
  // Publishes `info`, stores its SdkConfig and initializes the networks.
  void start(const TiloAppInfo& info, const PrivacySettings& privacy, InitCompletion completion);

  const TiloConfiguration config_;
  const std::shared_ptr<TiloAdProvider> adProvider_;
  const std::shared_ptr<platform::CurrentValueSubject<std::optional<TiloAppInfo>>> appInfoSubject_;
  const std::shared_ptr<TiloApiProtocol> tiloApi_;
  std::atomic<bool> syncAppInfo_{false};
};

}  // namespace tilo
