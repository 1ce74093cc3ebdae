// The host's privacy choices, snapshotted by each initialized() call and handed to every
// ad network adapter. Absent values are not forwarded.
#pragma once

#include <optional>
#include <string>

namespace tilo {

struct PrivacySettings {
  std::optional<bool> hasUserConsent;  // GDPR consent
  std::optional<bool> doNotSell;       // CCPA do-not-sell
  bool isTrackingAuthorized = false;   // tracking authorization status is "authorized"
  std::optional<std::string> gdprConsentString;
  std::optional<std::string> ccpaString;
  std::optional<bool> isChildDirected;

  bool operator==(const PrivacySettings&) const = default;
};

}  // namespace tilo
