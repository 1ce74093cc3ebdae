// Holds the app key from the application's Info.plist, read once per process.
//
//   if (auto keys = TiloKeyManager::shared()) use(keys->appKey());
//
// When Info.plist has no string under "TiloAppKey" or "TiloAdsKey", shared() reports the
// problem (reportFatal) and answers null; sharedOrError() hands it back as a value instead.
// The key itself is never logged.
#pragma once

#include <memory>
#include <string>

#include "Tilo/base/ConfigurationError.h"
#include "Tilo/base/Result.h"
#include "platform/Bundle.h"

namespace tilo {

class TiloKeyManager {
 public:
  using Made = Result<std::shared_ptr<TiloKeyManager>, ConfigurationError>;

  // The process-wide keys, or null (the problem reported) when the main bundle has none.
  static std::shared_ptr<TiloKeyManager> shared();
  // Like shared(), but a missing key is the answer and nothing is kept, so a later call
  // reads the (possibly corrected) main bundle again.
  static Made sharedOrError();
  // Reads "TiloAdsKey", then "TiloAppKey" (which wins when it is a string); neither a
  // string is a ConfigurationError that names the bundle's folder.
  static Made read(const platform::Bundle& bundle);

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
