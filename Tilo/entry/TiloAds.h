// The host's door into the SDK.
//
//   TiloAds* ads = TiloAds::shared();          // first access builds everything
//   if (!ads) return;                          // the bundle cannot start the SDK
//   ads->setLogLevel(TiloLogLevel::debug);
//   ads->setHasUserConsent(true);
//   ads->initialized([](std::optional<TiloError> error) {
//     if (!error) { /* load ads */ }
//   });
//
// When Info.plist has no app key, or the key file is missing or does not decrypt (both
// integration mistakes), shared() reports the line (reportFatal) and answers null;
// sharedOrError() hands the ConfigurationError back instead (the C ABI's way).
// Privacy properties are read once per initialized() call; later changes reach the
// networks only through another call.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "Tilo/base/ConfigurationError.h"
#include "Tilo/base/PrivacySettings.h"
#include "Tilo/base/Result.h"
#include "Tilo/base/TiloError.h"
#include "Tilo/base/TiloExport.h"
#include "Tilo/base/TiloLogger.h"
#include "platform/Device.h"

namespace tilo {

class TiloService;

class TILO_EXPORT TiloAds {
 public:
  using Started = Result<TiloAds*, ConfigurationError>;

  // The process-wide SDK, built on first use; null once its problem is reported when the
  // bundle cannot start it, or after shutdownShared().
  static TiloAds* shared();
  // Like shared(), but a bundle that cannot start the SDK is the answer and nothing is
  // built; the next call tries again with the start-up settings then in force.
  static Started sharedOrError();
  // Points the SDK at another backend (development). Takes effect when shared() first
  // builds the SDK; plain http:// only for loopback hosts.
  static void setApiBaseUrl(std::string url);
  // Whether shared() has built the SDK: the bundle, container and base URL are read then.
  static bool isSharedBuilt();

  // One process-wide value, initially off.
  TiloLogLevel logLevel() const;
  void setLogLevel(TiloLogLevel level);

  std::optional<std::string> userId() const;
  void setUserId(std::optional<std::string> userId);
  std::optional<bool> hasUserConsent() const;
  void setHasUserConsent(std::optional<bool> value);
  std::optional<std::string> gdprConsentString() const;
  void setGdprConsentString(std::optional<std::string> value);
  std::optional<bool> doNotSell() const;
  void setDoNotSell(std::optional<bool> value);
  std::optional<std::string> ccpaString() const;
  void setCcpaString(std::optional<std::string> value);
  std::optional<bool> isTaggedForChildDirectedTreatment() const;
  void setIsTaggedForChildDirectedTreatment(std::optional<bool> value);

  // The user's answer to the host's tracking consent flow; the networks see
  // isTrackingAuthorized = (status == authorized), read by each initialized() call.
  // Linux has no App Tracking Transparency prompt, so the SDK cannot learn the answer by
  // itself: until the host reports one the status is notDetermined, which reads as not
  // authorized. Assuming consent nobody gave would tell the networks they may track; the
  // advertising identifier stays all zeros for the same reason. One process-wide value.
  platform::TrackingAuthorizationStatus trackingAuthorizationStatus() const;
  void setTrackingAuthorizationStatus(platform::TrackingAuthorizationStatus status);

  // Returns at once. `completion` runs exactly once per call, on the main thread: no
  // error, or "Initialization failed" when neither the backend nor the cache answered.
  void initialized(std::function<void(std::optional<TiloError>)> completion);

  // The privacy values as initialized() will hand them to the networks.
  PrivacySettings privacySnapshot() const;
  const std::shared_ptr<TiloService>& core() const { return core_; }

  // Ends the process-wide SDK for good: saves the analytics events not yet on disk, drops
  // the SDK's objects and joins every thread the platform started. Afterwards
  // sharedOrError() answers a ConfigurationError and builds nothing. Main thread, outside any
  // task of the SDK's executors.
  static void shutdownShared();
  static bool isShutDown();

  // Drops the process-wide SDK so the next shared() builds a fresh graph from the
  // current bundle, container and base URL. Tests only: otherwise the SDK is never
  // destroyed, because upload answers may still arrive while the process exits. Also
  // ends a shutdown's refusal.
  TILO_HIDDEN static void resetSharedForTesting();

  explicit TiloAds(std::shared_ptr<TiloService> core);
  ~TiloAds();

 private:
  const std::shared_ptr<TiloService> core_;
  mutable std::mutex mutex_;
  std::optional<std::string> userId_;
  std::optional<bool> hasUserConsent_;
  std::optional<std::string> gdprConsentString_;
  std::optional<bool> doNotSell_;
  std::optional<std::string> ccpaString_;
  std::optional<bool> isTaggedForChildDirectedTreatment_;
};

}  // namespace tilo
