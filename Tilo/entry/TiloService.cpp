#include "Tilo/entry/TiloService.h"

#include "Tilo/telemetry/AdEventLogger.h"
#include "Tilo/telemetry/CrashMarkers.h"
#include "Tilo/telemetry/MarkerFiles.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/UserDefaults.h"

namespace tilo {

std::shared_ptr<TiloService> TiloService::create(TiloConfiguration config,
                                                 std::shared_ptr<TiloAdProvider> adProvider,
                                                 std::shared_ptr<TiloApiProtocol> tiloApi,
                                                 const std::string& encryptionSecret) {
  auto service =
      std::make_shared<TiloService>(std::move(config), std::move(adProvider), std::move(tiloApi));
  // Temporaries of writers killed mid-write (this SDK's or the host's, beside the shared
  // preferences file) would otherwise pile up run after run.
  crashMarkerFileQueue().sync([] { removeStaleMarkerTemporaries(); });
  platform::FileSystem::removeStaleTemporaries(
      platform::UserDefaults::standard()->path().parent_path(), kStaleTemporaryAgeSeconds);
  AdEventLogger::create(service->tiloApi_, encryptionSecret);
  // A value fetched later only takes effect at the next start, so a run never switches
  // markers on halfway through a phase.
  auto cached = readCachedSdkConfig();
  setEnableMarkerCheckpoints(cached && cached->enableMarkerCheckpoints);
  return service;
}

TiloService::TiloService(TiloConfiguration config, std::shared_ptr<TiloAdProvider> adProvider,
                         std::shared_ptr<TiloApiProtocol> tiloApi)
    : config_(std::move(config)),
      adProvider_(std::move(adProvider)),
      appInfoSubject_(platform::CurrentValueSubject<std::optional<TiloAppInfo>>::create()),
      tiloApi_(std::move(tiloApi)) {}

platform::Publisher<std::optional<TiloAppInfo>> TiloService::appInfoPublisher() {
  return appInfoSubject_->publisher();
}

std::optional<TiloAppInfo> TiloService::currentAppInfo() const {
  return appInfoSubject_->value().value_or(std::nullopt);
}

std::optional<TiloAdUnitItem> TiloService::readyItem(const std::string& unitId) const {
  if (!adProvider_->isInitialized()) return std::nullopt;
  return appInfoSubject_->inspect(
      [&](const std::optional<std::optional<TiloAppInfo>>& info) -> std::optional<TiloAdUnitItem> {
        const TiloAdUnitItem* item = info && *info ? (*info)->item(unitId) : nullptr;
        if (!item) return std::nullopt;
        return *item;
      });
}

std::optional<TiloError> TiloService::startupProblem() const {
  if (tiloApi_->appKeyRejected()) return TiloError::appKeyRejected();
  return std::nullopt;
}

void TiloService::initialize(const PrivacySettings& privacy, InitCompletion completion) {
  // Units an earlier run cached start the SDK at once, so that loads made right after the
  // call need not wait out the backend's retries (2 + 4 + 8 s when it is down); the
  // backend's answer replaces them when it comes.
  setMarker(CrashMarkerCheckpoint::configFetch,
            CheckpointMetadata::configFetch(
                StageResult::inProgress,
                CacheStageResult{CacheStageResult::Type::load, StageResult::inProgress}));
  if (auto cached = tiloApi_->cachedAppInfo()) {
    start(*cached, privacy, std::move(completion));
    tiloApi_->fetchAppInfo([weak = weak_from_this()](Result<TiloAppInfo> result) {
      auto self = weak.lock();
      // A failed fetch answers with the same cache: nothing new to publish.
      if (!self || !result || self->currentAppInfo() == result.value()) return;
      self->appInfoSubject_->send(result.value());
      if (result.value().sdkConfig) writeCachedSdkConfig(*result.value().sdkConfig);
    });
    return;
  }
  // The API keeps this closure until it answers: a weak reference, or the two keep each
  // other alive.
  auto fail = [completion, weakApi = std::weak_ptr<TiloApiProtocol>(tiloApi_)] {
    const auto api = weakApi.lock();
    const TiloError error = api && api->appKeyRejected() ? TiloError::appKeyRejected()
                                                         : TiloError::initializationFailed();
    platform::postToMain([completion, error] { completion(error); });
  };
  tiloApi_->fetchAppInfo(
      [weak = weak_from_this(), privacy, completion, fail](Result<TiloAppInfo> result) {
        auto self = weak.lock();
        if (!self || !result) {
          fail();
          return;
        }
        self->start(result.value(), privacy, completion);
      });
}

void TiloService::start(const TiloAppInfo& info, const PrivacySettings& privacy,
                        InitCompletion completion) {
  appInfoSubject_->send(info);
  if (info.sdkConfig) writeCachedSdkConfig(*info.sdkConfig);
  setMarker(CrashMarkerCheckpoint::adNetworkInit, CheckpointMetadata::adNetworkInit("start"));
  adProvider_->initializeNetworks(config_, privacy, [completion = std::move(completion)] {
    clearMarker(CrashMarkerCheckpoint::adNetworkInit);
    platform::postToMain([completion] { completion(std::nullopt); });
  });
}

void TiloService::resync(const std::string& unitId) {
  if (syncAppInfo_.exchange(true)) return;
  platform::postBackground([weak = weak_from_this(), unitId] {
    auto self = weak.lock();
    if (!self) return;
    setMarker(CrashMarkerCheckpoint::adUnitsResync, CheckpointMetadata::resync(unitId));
    self->tiloApi_->fetchAppInfoWithRetry(3, 0.5, 1.0, [weak](Result<TiloAppInfo> result) {
      auto self = weak.lock();
      if (self && result) self->appInfoSubject_->send(result.value());
      clearMarker(CrashMarkerCheckpoint::configFetch);
      clearMarker(CrashMarkerCheckpoint::adUnitsResync);
      if (self) self->syncAppInfo_ = false;
    });
  });
}

}  // namespace tilo
