// Amazon request extras: sizes per format, slot checks, privacy copies, request ids.
#include <gtest/gtest.h>

#include <set>

#include "mediation/APSAdMobUtils.h"

using namespace tilo::mediation;

TEST(APSAdMobUtils, FormatValuesPickTheSizeOrNoExtras) {
  const std::tuple<long, const char*, const char*> sized[] = {
      {0, "320", "50"}, {1, "300", "250"}, {2, "728", "90"}, {6, "320", "50"}, {-1, "320", "50"}};
  for (const auto& [format, width, height] : sized) {
    auto extras = APSAdMobUtils::extrasWithSlotUUID("slot", format);
    ASSERT_TRUE(extras) << format;
    EXPECT_EQ(extras->description(), "requestId=" + extras->requestId +
                                         " slotUUID=slot width=" + width + " height=" + height);
  }
  for (long format : {3, 4, 5}) EXPECT_FALSE(APSAdMobUtils::extrasWithSlotUUID("slot", format));
  EXPECT_FALSE(APSAdMobUtils::extrasWithSlotUUID(std::nullopt, 0)) << "no slot, no extras";
  EXPECT_FALSE(APSAdMobUtils::extrasWithSlotUUID(std::nullopt));
  EXPECT_FALSE(APSAdMobUtils::extrasWithSlotGroup(std::nullopt));
}

TEST(APSAdMobUtils, PrivacyEntriesAreCopiedOnlyWhenPresent) {
  // Slot groups carry no size.
  const auto described = [](const std::shared_ptr<APSAdNetworkExtras>& extras) {
    return extras->description().substr(("requestId=" + extras->requestId).size());
  };
  EXPECT_EQ(
      described(APSAdMobUtils::extrasWithSlotUUID(
          "slot", 320, 50, APSPrivacy{{"us_privacy", "1YNN"}, {"aps_privacy", "aps"}, {"x", "y"}})),
      " slotUUID=slot width=320 height=50 apsPrivacy=aps usPrivacy=1YNN");
  EXPECT_EQ(
      described(APSAdMobUtils::extrasWithSlotGroup("group", APSPrivacy{{"us_privacy", "1---"}})),
      " slotGroup=group usPrivacy=1---");
  auto plain = APSAdMobUtils::extrasWithSlotUUID("slot", std::optional<APSPrivacy>());
  EXPECT_EQ(plain->description(), "requestId=" + plain->requestId + " slotUUID=slot");
}

TEST(APSAdMobUtils, EveryExtrasObjectGetsAFreshDecimalRequestId) {
  std::set<std::string> ids;
  for (int i = 0; i < 200; ++i) {
    auto extras = APSAdMobUtils::extrasWithSlotUUID("slot", 0);
    ASSERT_FALSE(extras->requestId.empty());
    EXPECT_EQ(extras->requestId.find_first_not_of("0123456789"), std::string::npos);
    ids.insert(extras->requestId);
  }
  EXPECT_EQ(ids.size(), 200u);

  // Finishing an object again replaces its id and returns the same object.
  auto extras = APSAdMobUtils::extrasWithSlotUUID("slot", 1);
  const std::string first = extras->requestId;
  EXPECT_EQ(APSAdMobUtils::setRequestIdAndPrivacyToNetworkExtras(extras, std::nullopt), extras);
  EXPECT_NE(extras->requestId, first);
}
