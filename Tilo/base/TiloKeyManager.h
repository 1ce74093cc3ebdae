// Holds the app key from the application's Info.plist, read once per process.
//
//   const std::string& key = TiloKeyManager::shared()->appKey();
//
// Warning: the first shared() ends the process when Info.plist has no string under
// "TiloAppKey" or "TiloAdsKey"; sharedOrThrow() throws ConfigurationError instead, for
// callers that must keep their host alive. The key itself is never logged.
#pragma once

#include <memory>
#include <string>

#include "platform/Bundle.h"

namespace tilo {

class TiloKeyManager {
 public:
  static std::shared_ptr<TiloKeyManager> shared();
  // Like shared(), but a missing key throws ConfigurationError and nothing is kept, so a
  // later call reads the (possibly corrected) main bundle again.
  static std::shared_ptr<TiloKeyManager> sharedOrThrow();
  // Reads "TiloAdsKey", then "TiloAppKey" (which wins when it is a string); ends the
  // process when neither is a string.
  static std::shared_ptr<TiloKeyManager> create(const platform::Bundle& bundle);
  // The same, throwing ConfigurationError that names the bundle's folder.
  static std::shared_ptr<TiloKeyManager> read(const platform::Bundle& bundle);

  const std::string& appKey() const { return appKey_; }

  // Forgets the shared instance so the next shared() reads the main bundle again: for
  // tests, and after a start that failed on the key file, so that the bundle the host
  // corrects it with is read afresh.
  static void resetShared();

  explicit TiloKeyManager(std::string appKey) : appKey_(std::move(appKey)) {}

 private:
  const std::string appKey_;
};

}  // namespace tilo
