// Vungle: GDPR status from the consent, CCPA status opted in unless do-not-sell.
#pragma once

#include "Tilo/networks/ADNetwork.h"

namespace tilo {

class VungleNetwork final : public ADNetwork {
 public:
  std::string name() const override;
  void applyPrivacy(const PrivacySettings& privacy) override;
};

}  // namespace tilo
