// Mintegral: consent status and do-not-track status.
#pragma once

#include "Tilo/networks/ADNetwork.h"

namespace tilo {

class MintegralNetwork final : public ADNetwork {
 public:
  std::string name() const override;
  void applyPrivacy(const PrivacySettings& privacy) override;
};

}  // namespace tilo
