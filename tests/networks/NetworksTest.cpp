// The adapter list, what each adapter forwards to the outside SDKs, and the start results.
#include <gtest/gtest.h>

#include <optional>

#include "Tilo/base/TiloLogger.h"
#include "Tilo/networks/APSNetwork.h"
#include "Tilo/networks/AdMobNetwork.h"
#include "Tilo/networks/NetworkList.h"
#include "mediation/AdSource.h"
#include "mediation/CallRecorder.h"
#include "mediation/GADMobileAds.h"
#include "platform/TestEnvironment.h"

using namespace tilo;
using mediation::AdSource;
using mediation::CallRecorder;
using mediation::RecordedCall;
using Calls = std::vector<RecordedCall>;

namespace {

class NetworksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AdSource::shared().reset();
    CallRecorder::shared().clear();
  }
  void TearDown() override {
    AdSource::shared().reset();
    CallRecorder::shared().clear();
    setCurrentLogLevel(TiloLogLevel::off);
  }

  static std::vector<std::string> names(const TiloConfiguration& configuration) {
    std::vector<std::string> result;
    for (const auto& network : makeNetworkList(configuration)) result.push_back(network->name());
    return result;
  }

  // applyPrivacy on the whole list; returns what the outside SDKs received.
  static Calls forward(const PrivacySettings& privacy) {
    CallRecorder::shared().clear();
    TiloConfiguration configuration;
    configuration.apsAppID = "aps-app";
    for (const auto& network : makeNetworkList(configuration)) network->applyPrivacy(privacy);
    return CallRecorder::shared().calls();
  }

  // Runs `initialize` of one adapter to completion on mock time.
  std::optional<bool> initialize(ADNetwork& network) {
    std::optional<bool> result;
    network.initialize([&](bool ready) { result = ready; });
    env.runUntilIdle();
    return result;
  }

  platform::TestEnvironment env;
};

TEST_F(NetworksTest, ListOrderWithAndWithoutAmazon) {
  TiloConfiguration configuration;
  std::vector<std::string> expected{"Pangle", "InMobi",    "Chartboost", "Applovin", "IronSource",
                                    "Vungle", "Mintegral", "Fyber",      "Meta",     "AdMob"};
  EXPECT_EQ(names(configuration), expected);

  configuration.apsAppID = "aps-123";
  expected.insert(expected.end() - 1, "APS");
  EXPECT_EQ(names(configuration), expected);
  auto aps = std::dynamic_pointer_cast<APSNetwork>(makeNetworkList(configuration).at(9));
  ASSERT_TRUE(aps);
  EXPECT_EQ(aps->appKey(), "aps-123");
}

TEST_F(NetworksTest, ConsentRefusedReachesEveryConsentTakingNetwork) {
  PrivacySettings privacy;
  privacy.hasUserConsent = false;
  EXPECT_EQ(forward(privacy),
            (Calls{{"GADMInMobiConsent",
                    "updateGDPRConsent:", R"({"gdpr":"1","gdpr_consent_available":"false"})"},
                   {"Chartboost", "addDataUseConsent:", "CHBGDPRDataUseConsent(0)"},
                   {"ALPrivacySettings", "setHasUserConsent:", "false"},
                   {"IronSource", "setConsent:", "false"},
                   {"VunglePrivacySettings", "setGDPRStatus:", "false"},
                   {"MTGSDK", "setConsentStatus:", "false"},
                   {"IASDKCore", "setGDPRConsent:", "false"},
                   {"FBAdSettings", "setAdvertiserTrackingEnabled:", "false"}}));

  privacy.hasUserConsent = true;
  const Calls granted = forward(privacy);
  EXPECT_EQ(granted.at(0).value, R"({"gdpr":"1","gdpr_consent_available":"true"})");
  EXPECT_EQ(granted.at(1).value, "CHBGDPRDataUseConsent(1)");
}

TEST_F(NetworksTest, DoNotSellIsTranslatedIntoEachNetworksTerms) {
  PrivacySettings privacy;
  privacy.doNotSell = true;
  privacy.isTrackingAuthorized = true;
  EXPECT_EQ(forward(privacy),
            (Calls{{"Chartboost", "addDataUseConsent:", "CHBCCPADataUseConsent(0)"},
                   {"ALPrivacySettings", "setDoNotSell:", "true"},
                   {"IronSource", "setMetaDataWithKey:value:", "do_not_sell=YES"},
                   {"VunglePrivacySettings", "setCCPAStatus:", "false"},
                   {"MTGSDK", "setDoNotTrackStatus:", "true"},
                   {"FBAdSettings", "setAdvertiserTrackingEnabled:", "true"}}));

  privacy.doNotSell = false;
  const Calls selling = forward(privacy);
  EXPECT_EQ(selling.at(0).value, "CHBCCPADataUseConsent(1)");
  EXPECT_EQ(selling.at(2).value, "do_not_sell=NO");
  EXPECT_EQ(selling.at(3).value, "true");
}

TEST_F(NetworksTest, AbsentValuesAreNeverForwarded) {
  EXPECT_EQ(forward(PrivacySettings{}),
            (Calls{{"FBAdSettings", "setAdvertiserTrackingEnabled:", "false"}}));

  PrivacySettings strings;
  strings.gdprConsentString = "CO-gdpr";
  strings.ccpaString = "1YNN";
  strings.isChildDirected = false;
  EXPECT_EQ(
      forward(strings),
      (Calls{{"IASDKCore", "setGDPRConsentString:", "CO-gdpr"},
             {"IASDKCore", "setCCPAString:", "1YNN"},
             {"FBAdSettings", "setAdvertiserTrackingEnabled:", "false"},
             {"GADMobileAds", "requestConfiguration.setTagForChildDirectedTreatment:", "false"}}));
  EXPECT_EQ(mediation::GADMobileAds::sharedInstance()
                .requestConfiguration()
                .tagForChildDirectedTreatment(),
            false);
}

TEST_F(NetworksTest, InitializationUsesEachNetworksLogLevel) {
  struct Case {
    TiloLogLevel level;
    const char* inMobi;
    const char* meta;
    const char* aps;
  };
  for (const Case& c : {Case{TiloLogLevel::off, "0", "0", "logLevel=7"},
                        Case{TiloLogLevel::error, "1", "2", "logLevel=5"},
                        Case{TiloLogLevel::debug, "2", "6", "logLevel=0"}}) {
    setCurrentLogLevel(c.level);
    CallRecorder::shared().clear();
    TiloConfiguration configuration;
    configuration.apsAppID = "aps-app";
    configuration.isEnabledAPSTestMode = c.level == TiloLogLevel::debug;
    for (const auto& network : makeNetworkList(configuration)) {
      if (network->name() == "AdMob") continue;
      EXPECT_EQ(initialize(*network), true) << network->name();
    }
    const std::string testMode = c.level == TiloLogLevel::debug ? "true" : "false";
    EXPECT_EQ(
        CallRecorder::shared().calls(),
        (Calls{{"IMSdk", "setLogLevel:", c.inMobi},
               {"ALSdkSettings", "setCreativeDebuggerEnabled:", "false"},
               {"FBAdSettings", "setLogLevel:", c.meta},
               {"APS", "initializeWithAppKey:config:completion:",
                "aps-app mraidPolicy=0 useGeolocation=true testMode=" + testMode + " " + c.aps}}));
  }
}

TEST_F(NetworksTest, AmazonIsReadyEvenWhenItsStartFails) {
  ASSERT_EQ(AdSource::shared().loadScenario(platform::parseJson(R"({"start": {"APS": "notReady",
      "GADMobileAds": "ready"}})")),
            std::nullopt);
  APSNetwork aps("aps-app");
  std::optional<bool> result;
  aps.initialize([&](bool ready) { result = ready; });
  EXPECT_EQ(result, std::nullopt) << "waits for Amazon's completion";
  env.runUntilIdle();
  EXPECT_EQ(result, true);
}

TEST_F(NetworksTest, AdMobIsReadyExactlyWhenThePlatformEntryIsReady) {
  AdMobNetwork admob;
  EXPECT_EQ(initialize(admob), true);
  EXPECT_EQ(CallRecorder::shared().callsTo("GADMobileAds"),
            (Calls{{"GADMobileAds", "startWithCompletionHandler:", ""}}));

  const std::pair<const char*, bool> cases[] = {
      {R"({"start": {"GADMobileAds": "notReady", "GADMediationAdapterMeta": "ready"}})", false},
      {R"({"start": {"GADMediationAdapterMeta": "ready"}})", false},
      {R"({"start": {}})", false},
      {R"({"start": {"GADMobileAds": "ready", "GADMediationAdapterMeta": "notReady"}})", true},
  };
  for (const auto& [scenario, expected] : cases) {
    ASSERT_EQ(AdSource::shared().loadScenario(platform::parseJson(scenario)), std::nullopt);
    EXPECT_EQ(initialize(admob), expected) << scenario;
  }
}

}  // namespace
