// Google Mobile Ads: the child-directed tag, then the platform start, which reports
// whether the mediation platform itself came up.
#pragma once

#include "Tilo/networks/ADNetwork.h"

namespace tilo {

class AdMobNetwork final : public ADNetwork {
 public:
  std::string name() const override;
  void initialize(std::function<void(bool)> completion) override;
  void applyPrivacy(const PrivacySettings& privacy) override;
};

}  // namespace tilo
