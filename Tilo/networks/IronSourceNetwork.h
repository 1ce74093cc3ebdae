// IronSource: consent, and do-not-sell as the "do_not_sell" metadata.
#pragma once

#include "Tilo/networks/ADNetwork.h"

namespace tilo {

class IronSourceNetwork final : public ADNetwork {
 public:
  std::string name() const override;
  void applyPrivacy(const PrivacySettings& privacy) override;
};

}  // namespace tilo
