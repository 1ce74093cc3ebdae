#include "mediation/APSAdMobUtils.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>

#include "platform/Crypto.h"

namespace tilo::mediation {
namespace {

std::shared_ptr<APSAdNetworkExtras> makeExtras(const std::optional<std::string>& slotUUID,
                                               const std::optional<std::string>& slotGroup,
                                               const std::optional<APSPrivacy>& privacy) {
  auto extras = std::make_shared<APSAdNetworkExtras>();
  if (slotUUID) extras->slotUUID = *slotUUID;
  if (slotGroup) extras->slotGroup = *slotGroup;
  return APSAdMobUtils::setRequestIdAndPrivacyToNetworkExtras(extras, privacy);
}

}  // namespace

std::string APSAdNetworkExtras::description() const {
  std::string out;
  for (const auto& [key, value] : {std::pair{"requestId", &requestId},
                                   {"slotUUID", &slotUUID},
                                   {"slotGroup", &slotGroup},
                                   {"width", &width},
                                   {"height", &height},
                                   {"apsPrivacy", &apsPrivacy},
                                   {"usPrivacy", &usPrivacy}}) {
    if (value->empty()) continue;
    out += (out.empty() ? "" : " ") + std::string(key) + "=" + *value;
  }
  return out;
}

std::shared_ptr<APSAdNetworkExtras> APSAdMobUtils::extrasWithSlotUUID(
    const std::optional<std::string>& slotUUID, long adFormat) {
  switch (adFormat) {
    case 3:
    case 4:
    case 5:
      return nullptr;
    case 1:
      return extrasWithSlotUUID(slotUUID, 300, 250);
    case 2:
      return extrasWithSlotUUID(slotUUID, 728, 90);
    default:
      return extrasWithSlotUUID(slotUUID, 320, 50);
  }
}

std::shared_ptr<APSAdNetworkExtras> APSAdMobUtils::extrasWithSlotUUID(
    const std::optional<std::string>& slotUUID, long width, long height) {
  return extrasWithSlotUUID(slotUUID, width, height, std::nullopt);
}

std::shared_ptr<APSAdNetworkExtras> APSAdMobUtils::extrasWithSlotUUID(
    const std::optional<std::string>& slotUUID, long width, long height,
    const std::optional<APSPrivacy>& privacy) {
  if (!slotUUID) return nullptr;
  auto extras = std::make_shared<APSAdNetworkExtras>();
  extras->slotUUID = *slotUUID;
  extras->width = std::to_string(width);
  extras->height = std::to_string(height);
  return setRequestIdAndPrivacyToNetworkExtras(extras, privacy);
}

std::shared_ptr<APSAdNetworkExtras> APSAdMobUtils::extrasWithSlotUUID(
    const std::optional<std::string>& slotUUID) {
  return extrasWithSlotUUID(slotUUID, std::optional<APSPrivacy>());
}

std::shared_ptr<APSAdNetworkExtras> APSAdMobUtils::extrasWithSlotUUID(
    const std::optional<std::string>& slotUUID, const std::optional<APSPrivacy>& privacy) {
  return slotUUID ? makeExtras(slotUUID, std::nullopt, privacy) : nullptr;
}

std::shared_ptr<APSAdNetworkExtras> APSAdMobUtils::extrasWithSlotGroup(
    const std::optional<std::string>& slotGroup) {
  return extrasWithSlotGroup(slotGroup, std::nullopt);
}

std::shared_ptr<APSAdNetworkExtras> APSAdMobUtils::extrasWithSlotGroup(
    const std::optional<std::string>& slotGroup, const std::optional<APSPrivacy>& privacy) {
  return slotGroup ? makeExtras(std::nullopt, slotGroup, privacy) : nullptr;
}

std::shared_ptr<APSAdNetworkExtras> APSAdMobUtils::setRequestIdAndPrivacyToNetworkExtras(
    std::shared_ptr<APSAdNetworkExtras> extras, const std::optional<APSPrivacy>& privacy) {
  if (!extras) return extras;
  extras->requestId = DTBAdHelper::generateRandomUniqueNumber();
  if (privacy) {
    if (auto us = privacy->find("us_privacy"); us != privacy->end()) extras->usPrivacy = us->second;
    if (auto aps = privacy->find("aps_privacy"); aps != privacy->end()) {
      extras->apsPrivacy = aps->second;
    }
  }
  return extras;
}

std::string DTBAdHelper::generateRandomUniqueNumber() {
  // A random high part keeps numbers apart across processes; the counter within one.
  static std::atomic<std::uint32_t> counter{0};
  std::array<std::uint8_t, 4> bytes{};
  platform::secureRandomBytes(bytes);
  std::uint32_t random = 0;
  std::memcpy(&random, bytes.data(), bytes.size());
  const std::uint64_t number =
      (static_cast<std::uint64_t>(random) << 32) | counter.fetch_add(1, std::memory_order_relaxed);
  return std::to_string(number);
}

}  // namespace tilo::mediation
