// Meta Audience Network: its log level, and advertiser tracking from the tracking
// authorization (always forwarded, it is never absent).
#pragma once

#include "Tilo/base/TiloLogger.h"
#include "Tilo/networks/ADNetwork.h"

namespace tilo {

class MetaNetwork final : public ADNetwork {
 public:
  // FBAdSettings log levels: off 0 (none), error 2, debug 6 (verbose).
  static int fbLogLevel(TiloLogLevel level);

  std::string name() const override;
  void initialize(std::function<void(bool)> completion) override;
  void applyPrivacy(const PrivacySettings& privacy) override;
};

}  // namespace tilo
