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
    EXPECT_EQ(extras->slotUUID, "slot");
    EXPECT_EQ(extras->width, width) << format;
    EXPECT_EQ(extras->height, height) << format;
    EXPECT_TRUE(extras->slotGroup.empty());
  }
  for (long format : {3, 4, 5}) EXPECT_FALSE(APSAdMobUtils::extrasWithSlotUUID("slot", format));
  EXPECT_FALSE(APSAdMobUtils::extrasWithSlotUUID(std::nullopt, 0)) << "no slot, no extras";
  EXPECT_FALSE(APSAdMobUtils::extrasWithSlotUUID(std::nullopt));
  EXPECT_FALSE(APSAdMobUtils::extrasWithSlotGroup(std::nullopt));
}

TEST(APSAdMobUtils, PrivacyEntriesAreCopiedOnlyWhenPresent) {
  auto both = APSAdMobUtils::extrasWithSlotUUID(
      "slot", 320, 50, APSPrivacy{{"us_privacy", "1YNN"}, {"aps_privacy", "aps"}, {"x", "y"}});
  EXPECT_EQ(both->usPrivacy, "1YNN");
  EXPECT_EQ(both->apsPrivacy, "aps");

  auto usOnly = APSAdMobUtils::extrasWithSlotGroup("group", APSPrivacy{{"us_privacy", "1---"}});
  EXPECT_EQ(usOnly->slotGroup, "group");
  EXPECT_TRUE(usOnly->slotUUID.empty());
  EXPECT_TRUE(usOnly->width.empty()) << "slot groups carry no size";
  EXPECT_EQ(usOnly->usPrivacy, "1---");
  EXPECT_TRUE(usOnly->apsPrivacy.empty());

  auto plain = APSAdMobUtils::extrasWithSlotUUID("slot", std::optional<APSPrivacy>());
  EXPECT_TRUE(plain->usPrivacy.empty());
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
