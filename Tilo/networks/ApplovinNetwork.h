// AppLovin: creative debugger off, consent and do-not-sell forwarded.
#pragma once

#include "Tilo/networks/ADNetwork.h"

namespace tilo {

class ApplovinNetwork final : public ADNetwork {
 public:
  std::string name() const override;
  void initialize(std::function<void(bool)> completion) override;
  void applyPrivacy(const PrivacySettings& privacy) override;
};

}  // namespace tilo
