// Chartboost: receives GDPR and CCPA choices as data-use consents.
#pragma once

#include "Tilo/networks/ADNetwork.h"

namespace tilo {

class ChartboostNetwork final : public ADNetwork {
 public:
  std::string name() const override;
  void applyPrivacy(const PrivacySettings& privacy) override;
};

}  // namespace tilo
