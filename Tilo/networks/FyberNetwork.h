// DT Exchange (Fyber): GDPR consent and the IAB consent strings.
#pragma once

#include "Tilo/networks/ADNetwork.h"

namespace tilo {

class FyberNetwork final : public ADNetwork {
 public:
  std::string name() const override;
  void applyPrivacy(const PrivacySettings& privacy) override;
};

}  // namespace tilo
