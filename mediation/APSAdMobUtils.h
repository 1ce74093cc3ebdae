// Amazon request extras for mediation requests: the Amazon slot (or slot group), the ad
// size and the privacy strings, under a fresh request identifier.
//
//   if (auto extras = APSAdMobUtils::extrasWithSlotUUID(uuid, 0)) {   // 0: 320 x 50 banner
//     request->registerAdNetworkExtras(extras);
//   }
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "mediation/GADAdNetworkExtras.h"

namespace tilo::mediation {

// Keys "us_privacy" and "aps_privacy".
using APSPrivacy = std::map<std::string, std::string>;

class APSAdNetworkExtras final : public GADAdNetworkExtras {
 public:
  std::string requestId, slotUUID, slotGroup, width, height, apsPrivacy, usPrivacy;

  std::string className() const override { return "APSAdNetworkExtras"; }
  // The non-empty properties as "key=value", in declaration order.
  std::string description() const override;
};

class APSAdMobUtils {
 public:
  // Amazon format values 3, 4 and 5 get no extras; 0 is 320 x 50, 1 is 300 x 250, 2 is
  // 728 x 90, anything else 320 x 50.
  static std::shared_ptr<APSAdNetworkExtras> extrasWithSlotUUID(
      const std::optional<std::string>& slotUUID, long adFormat);
  static std::shared_ptr<APSAdNetworkExtras> extrasWithSlotUUID(
      const std::optional<std::string>& slotUUID, long width, long height);
  // Null without a slot identifier.
  static std::shared_ptr<APSAdNetworkExtras> extrasWithSlotUUID(
      const std::optional<std::string>& slotUUID, long width, long height,
      const std::optional<APSPrivacy>& privacy);
  static std::shared_ptr<APSAdNetworkExtras> extrasWithSlotUUID(
      const std::optional<std::string>& slotUUID);
  static std::shared_ptr<APSAdNetworkExtras> extrasWithSlotUUID(
      const std::optional<std::string>& slotUUID, const std::optional<APSPrivacy>& privacy);
  static std::shared_ptr<APSAdNetworkExtras> extrasWithSlotGroup(
      const std::optional<std::string>& slotGroup);
  static std::shared_ptr<APSAdNetworkExtras> extrasWithSlotGroup(
      const std::optional<std::string>& slotGroup, const std::optional<APSPrivacy>& privacy);

  // Sets a fresh requestId and copies the privacy entries that are present; returns `extras`.
  static std::shared_ptr<APSAdNetworkExtras> setRequestIdAndPrivacyToNetworkExtras(
      std::shared_ptr<APSAdNetworkExtras> extras, const std::optional<APSPrivacy>& privacy);
};

class DTBAdHelper {
 public:
  // Decimal digits, different on every call.
  static std::string generateRandomUniqueNumber();
};

}  // namespace tilo::mediation
