// Values the platform passes to the publisher's reward-verification callback.
#pragma once

#include <string>

namespace tilo::mediation {

struct GADServerSideVerificationOptions {
  std::string userIdentifier;
  std::string customRewardString;

  bool operator==(const GADServerSideVerificationOptions&) const = default;
};

}  // namespace tilo::mediation
