// Amazon Publisher Services: started with the configuration's APS app id. Ready even when
// Amazon reports a start error, since ads still load through mediation without it.
#pragma once

#include "Tilo/base/TiloLogger.h"
#include "Tilo/networks/ADNetwork.h"

namespace tilo {

class APSNetwork final : public ADNetwork {
 public:
  // APS log levels: off 7, error 5, debug 0 (all).
  static int apsLogLevel(TiloLogLevel level);

  explicit APSNetwork(std::string appKey, bool testMode = false)
      : appKey_(std::move(appKey)), testMode_(testMode) {}
  const std::string& appKey() const { return appKey_; }

  std::string name() const override;
  void initialize(std::function<void(bool)> completion) override;

 private:
  std::string appKey_;
  bool testMode_;
};

}  // namespace tilo
