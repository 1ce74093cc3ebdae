#include "Tilo/entry/TiloAds.h"

#include "Tilo/backend/NetworkClient.h"
#include "Tilo/backend/SharedService.h"
#include "Tilo/backend/TiloApi.h"
#include "Tilo/base/ApiBaseUrl.h"
#include "Tilo/base/ConfigurationError.h"
#include "Tilo/base/FatalError.h"
#include "Tilo/base/Result.h"
#include "Tilo/base/TiloKeyManager.h"
#include "Tilo/entry/TiloService.h"
#include "Tilo/telemetry/AdEventLogger.h"
#include "Tilo/telemetry/AppLifecycleObserver.h"
#include "Tilo/telemetry/CrashMarkers.h"
#include "Tilo/telemetry/DiagnosticsRecorder.h"
#include "Tilo/telemetry/MarkerFiles.h"
#include "platform/Bundle.h"
#include "platform/Device.h"
#include "platform/Environment.h"
#include "platform/Shutdown.h"

namespace tilo {
namespace {

std::mutex sharedMutex;
TiloAds* sharedInstance = nullptr;  // never destroyed at exit, unless shut down
bool shutDown = false;

// Errors that escape a task of any executor end up here instead of ending the process.
void logTaskFailure(const std::string& where, const std::string& what) {
  log("Task failed on " + where + ": " + what, TiloLogLevel::error);
}

// A ConfigurationError, before anything is started, when the bundle cannot start it.
Result<std::unique_ptr<TiloAds>, ConfigurationError> build() {
  using Built = Result<std::unique_ptr<TiloAds>, ConfigurationError>;
  auto keys = TiloKeyManager::sharedOrError();
  if (!keys) return Built::failure(*keys.error());
  const std::string appKey = keys.value()->appKey();
  auto read = readConfigurationFile(appKey, *platform::Bundle::main());
  if (!read) {
    // The key stays unchanged once the SDK runs; until then the host may correct its bundle.
    TiloKeyManager::resetShared();
    return Built::failure(*read.error());
  }
  TiloConfiguration config = std::move(read.value());
  platform::setTaskFailureHandler(logTaskFailure);
  auto adProvider = TiloAdProvider::create();
  auto api = TiloApi::create(resolveApiBaseUrl(config.environment), config.appKey,
                             NetworkClient::create(), RetryPolicy{3, 2.0, 2.0});
  auto service =
      TiloService::create(std::move(config), std::move(adProvider), std::move(api), appKey);
  return std::make_unique<TiloAds>(std::move(service));
}

}  // namespace

TiloAds::TiloAds(std::shared_ptr<TiloService> core) : core_(std::move(core)) {}
TiloAds::~TiloAds() = default;

TiloAds::Started TiloAds::sharedOrError() {
  // The build logs; those lines reach a log callback once the lock is released.
  platform::HeldLockScope held;
  std::lock_guard lock(sharedMutex);
  if (shutDown) return Started::failure(ConfigurationError("The SDK was shut down"));
  if (!sharedInstance) {
    auto built = build();
    if (!built) return Started::failure(*built.error());
    sharedInstance = built.value().release();
  }
  return sharedInstance;
}

TiloAds* TiloAds::shared() {
  auto started = sharedOrError();
  // Reported once the lock is released: the log callback may call in.
  if (!started) reportFatal(started.error()->message());
  return started ? started.value() : nullptr;
}

bool TiloAds::isSharedBuilt() {
  std::lock_guard lock(sharedMutex);
  return sharedInstance != nullptr;
}

TiloLogLevel TiloAds::logLevel() const {
  return currentLogLevel();
}

void TiloAds::setLogLevel(TiloLogLevel level) {
  setCurrentLogLevel(level);
}

platform::TrackingAuthorizationStatus TiloAds::trackingAuthorizationStatus() const {
  return platform::trackingAuthorizationStatus();
}

void TiloAds::setTrackingAuthorizationStatus(platform::TrackingAuthorizationStatus status) {
  platform::setTrackingAuthorizationStatus(status);
}

void TiloAds::setApiBaseUrl(std::string url) {
  setApiBaseUrlOverride(std::move(url));
}

namespace {
void dropShared() {
  std::unique_ptr<TiloAds> old;
  {
    std::lock_guard lock(sharedMutex);
    old.reset(std::exchange(sharedInstance, nullptr));
  }
  old.reset();
  TiloKeyManager::resetShared();
  AdEventLogger::resetSharedForTesting();
  AppLifecycleObserver::resetSharedForTesting();
  setEnableMarkerCheckpoints(false);
  DiagnosticsRecorder::shared().reset();
}
}  // namespace

void TiloAds::resetSharedForTesting() {
  dropShared();
  std::lock_guard lock(sharedMutex);
  shutDown = false;
}

void TiloAds::shutdownShared() {
  {
    std::lock_guard lock(sharedMutex);
    if (shutDown) return;
    shutDown = true;
  }
  // An upload in flight keeps its batch in the queue until answered, so it is saved too.
  if (auto logger = AdEventLogger::shared()) logger->saveNow();
  dropShared();
  platform::shutdownThreads();
  platform::setTaskFailureHandler(nullptr);
  closeMarkerFolder();  // no thread uses it any more
}

bool TiloAds::isShutDown() {
  std::lock_guard lock(sharedMutex);
  return shutDown;
}

#define TILO_PROPERTY(Type, getter, setter, field) \
  Type TiloAds::getter() const {                   \
    std::lock_guard lock(mutex_);                  \
    return field;                                  \
  }                                                \
  void TiloAds::setter(Type value) {               \
    std::lock_guard lock(mutex_);                  \
    field = std::move(value);                      \
  }

TILO_PROPERTY(std::optional<std::string>, userId, setUserId, userId_)
TILO_PROPERTY(std::optional<bool>, hasUserConsent, setHasUserConsent, hasUserConsent_)
TILO_PROPERTY(std::optional<std::string>, gdprConsentString, setGdprConsentString,
              gdprConsentString_)
TILO_PROPERTY(std::optional<bool>, doNotSell, setDoNotSell, doNotSell_)
TILO_PROPERTY(std::optional<std::string>, ccpaString, setCcpaString, ccpaString_)
TILO_PROPERTY(std::optional<bool>, isTaggedForChildDirectedTreatment,
              setIsTaggedForChildDirectedTreatment, isTaggedForChildDirectedTreatment_)
#undef TILO_PROPERTY

PrivacySettings TiloAds::privacySnapshot() const {
  std::lock_guard lock(mutex_);
  return PrivacySettings{
      hasUserConsent_,
      doNotSell_,
      platform::trackingAuthorizationStatus() == platform::TrackingAuthorizationStatus::authorized,
      gdprConsentString_,
      ccpaString_,
      isTaggedForChildDirectedTreatment_};
}

void TiloAds::initialized(std::function<void(std::optional<TiloError>)> completion) {
  checkForPreviousCrashes();
  setMarker(CrashMarkerCheckpoint::sdkInit);
  AppLifecycleObserver::ensureShared();
  const PrivacySettings privacy = privacySnapshot();
  DiagnosticsRecorder::shared().startupBegan(privacy);
  auto wrapped = [completion = std::move(completion)](std::optional<TiloError> error) {
    clearMarker(CrashMarkerCheckpoint::sdkInit);
    DiagnosticsRecorder::shared().startupEnded(error ? std::optional(error->message())
                                                     : std::nullopt);
    if (completion) completion(std::move(error));
  };
  platform::postBackground([weak = std::weak_ptr<TiloService>(core_), privacy, wrapped] {
    auto service = weak.lock();
    if (!service) {
      platform::postToMain([wrapped] { wrapped(TiloError::initializationFailed()); });
      return;
    }
    service->initialize(privacy, wrapped);
  });
}

namespace {

// The service of ad objects made while the SDK cannot start: nothing ever becomes ready,
// so each load fails with the reason once its wait for ad units runs out.
class UnstartedService final : public TiloServiceProtocol,
                               public AdProviding,
                               public std::enable_shared_from_this<UnstartedService> {
 public:
  explicit UnstartedService(std::string problem)
      : problem_(TiloError::Code::initializationFailed, std::move(problem)) {}
  platform::Publisher<std::optional<TiloAppInfo>> appInfoPublisher() override {
    return appInfo_->publisher();
  }
  void resync(const std::string&) override {}
  std::shared_ptr<AdProviding> adProvider() override { return shared_from_this(); }
  platform::Publisher<bool> initializedPublisher() override { return ready_->publisher(); }
  std::optional<TiloError> startupProblem() const override { return problem_; }
  const TiloConfiguration& config() const override { return config_; }

 private:
  const TiloError problem_;
  const TiloConfiguration config_;
  const std::shared_ptr<platform::CurrentValueSubject<std::optional<TiloAppInfo>>> appInfo_ =
      platform::CurrentValueSubject<std::optional<TiloAppInfo>>::create();
  const std::shared_ptr<platform::CurrentValueSubject<bool>> ready_ =
      platform::CurrentValueSubject<bool>::create(false);
};

}  // namespace

std::shared_ptr<TiloServiceProtocol> sharedService() {
  auto started = TiloAds::sharedOrError();
  if (started) return started.value()->core();
  reportFatal(started.error()->message());
  return std::make_shared<UnstartedService>(started.error()->message());
}

std::optional<std::string> sharedUserId() {
  auto* ads = TiloAds::shared();
  return ads ? ads->userId() : std::nullopt;
}

}  // namespace tilo
