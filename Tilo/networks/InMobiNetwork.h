// InMobi: gets the SDK's log level and the GDPR consent.
#pragma once

#include "Tilo/networks/ADNetwork.h"

namespace tilo {

class InMobiNetwork final : public ADNetwork {
 public:
  std::string name() const override;
  void initialize(std::function<void(bool)> completion) override;
  void applyPrivacy(const PrivacySettings& privacy) override;
};

}  // namespace tilo
