// The adapter list, what each adapter forwards to the outside SDKs, and the start results.
#include <gtest/gtest.h>

#include <optional>

#include "Tilo/base/TiloLogger.h"
#include "Tilo/networks/APSNetwork.h"
#include "Tilo/networks/AdMobNetwork.h"
#include "Tilo/networks/ErrorConversion.h"
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
    SetUp();
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
  EXPECT_EQ(names(configuration), expected);  // APS's app key: see its start call below
}

TEST_F(NetworksTest, EachChoiceReachesTheNetworksThatTakeItInTheirTermsOnlyWhenSet) {
  // One call per network that takes the choice: class, selector, value for no, for yes.
  struct Row {
    std::string sdk, method, no, yes;
  };
  auto expectBoth = [&](std::optional<bool> PrivacySettings::*choice, PrivacySettings privacy,
                        const std::vector<Row>& rows) {
    for (bool yes : {false, true}) {
      privacy.*choice = yes;
      Calls expected;
      for (const Row& row : rows) expected.push_back({row.sdk, row.method, yes ? row.yes : row.no});
      EXPECT_EQ(forward(privacy), expected) << "set to " << yes;
    }
  };
  // 1. Unset choices are never forwarded; Meta's tracking flag always is.
  EXPECT_EQ(forward(PrivacySettings{}),
            (Calls{{"FBAdSettings", "setAdvertiserTrackingEnabled:", "false"}}));
  // 2. Consent.
  expectBoth(
      &PrivacySettings::hasUserConsent, {},
      {{"GADMInMobiConsent",
        "updateGDPRConsent:", R"({"gdpr":"1","gdpr_consent_available":"false"})",
        R"({"gdpr":"1","gdpr_consent_available":"true"})"},
       {"Chartboost", "addDataUseConsent:", "CHBGDPRDataUseConsent(0)", "CHBGDPRDataUseConsent(1)"},
       {"ALPrivacySettings", "setHasUserConsent:", "false", "true"},
       {"IronSource", "setConsent:", "false", "true"},
       {"VunglePrivacySettings", "setGDPRStatus:", "false", "true"},
       {"MTGSDK", "setConsentStatus:", "false", "true"},
       {"IASDKCore", "setGDPRConsent:", "false", "true"},
       {"FBAdSettings", "setAdvertiserTrackingEnabled:", "false", "false"}});
  // 3. Do-not-sell, with tracking authorized.
  PrivacySettings tracked;
  tracked.isTrackingAuthorized = true;
  expectBoth(
      &PrivacySettings::doNotSell, tracked,
      {{"Chartboost", "addDataUseConsent:", "CHBCCPADataUseConsent(1)", "CHBCCPADataUseConsent(0)"},
       {"ALPrivacySettings", "setDoNotSell:", "false", "true"},
       {"IronSource", "setMetaDataWithKey:value:", "do_not_sell=NO", "do_not_sell=YES"},
       {"VunglePrivacySettings", "setCCPAStatus:", "true", "false"},
       {"MTGSDK", "setDoNotTrackStatus:", "false", "true"},
       {"FBAdSettings", "setAdvertiserTrackingEnabled:", "true", "true"}});
  // 4. Child-directed treatment, and the consent strings (DT Exchange only).
  PrivacySettings strings;
  strings.gdprConsentString = "CO-gdpr";
  strings.ccpaString = "1YNN";
  expectBoth(
      &PrivacySettings::isChildDirected, strings,
      {{"IASDKCore", "setGDPRConsentString:", "CO-gdpr", "CO-gdpr"},
       {"IASDKCore", "setCCPAString:", "1YNN", "1YNN"},
       {"FBAdSettings", "setAdvertiserTrackingEnabled:", "false", "false"},
       {"GADMobileAds", "requestConfiguration.setTagForChildDirectedTreatment:", "false", "true"}});
  EXPECT_EQ(mediation::GADMobileAds::sharedInstance()
                .requestConfiguration()
                .tagForChildDirectedTreatment(),
            true);
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

// A cause before the platform's text where the code alone hides it, a fixed text, unknown
// codes, and codes that mean something in their own domain only. (One row for each branch:
// every other URL error is a network error, like -1005.)
TEST_F(NetworksTest, PlatformErrorsMapToTheHostsCodesAndTexts) {
  using Code = TiloError::Code;
  const std::string gad = "com.google.admob", url = "NSURLErrorDomain";
  const std::string hint =
      " If no fill persists, please verify app-ads.txt configuration at "
      "https://dashboard.tiloads.com";
  const std::tuple<std::string, long, std::string, Code, std::string> rules[] = {
      {gad, 0, "Text", Code::invalidAdUnitIdentifier, "Text"},
      {gad, 1, "Text", Code::noFill, "Text." + hint},
      {gad, 1, "No fill.", Code::noFill, "No fill." + hint},
      {gad, 2, "Text", Code::networkError, "Text"},
      {gad, 3, "Text", Code::networkError, "Ad server error: Text"},
      {gad, 4, "Text", Code::unspecified, "OS version too low: Text"},
      {gad, 5, "Text", Code::networkTimeout, "Text"},
      {gad, 6, "Text", Code::unspecified, "Text"},
      {gad, 7, "Text", Code::adLoadFailed, "Mediation error: Text"},
      {gad, 8, "Text", Code::adLoadFailed, "Mediation error: Text"},
      {gad, 10, "Text", Code::unspecified, "Invalid ad size: Text"},
      {gad, 11, "Text", Code::unspecified, "Internal error: Text"},
      {gad, 12, "Text", Code::unspecified, "Invalid argument: Text"},
      {gad, 19, "Text", Code::fullscreenAdAlreadyShowing, "Text"},
      {gad, 20, "Text", Code::initializationFailed, "Application identifier missing"},
      {gad, 21, "Text", Code::unspecified, "Received invalid ad string: Text"},
      {url, -1001, "Text", Code::networkTimeout, "Text"},
      {url, -1005, "Text", Code::networkError, "Text"},
      {url, -1009, "Text", Code::noNetwork, "Text"},
      {"com.example", -1009, "Text", Code::unspecified, "Text"}};
  for (const auto& [domain, code, text, expected, message] : rules) {
    const auto error = toTiloError(mediation::NSError{domain, code, text});
    EXPECT_EQ(std::pair(error.code(), error.message()), std::pair(expected, message))
        << domain << " " << code;
  }
}

}  // namespace
