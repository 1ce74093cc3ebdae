// The C ABI as a C host uses it: status codes for wrong arguments, callbacks with their
// context, C views of errors and ad info, and handle lifetimes. The SDK runs against the
// development backend on loopback with the scripted ad source, on mock time.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "Tilo/core/TiloAds.h"
#include "Tilo/core/TiloLogger.h"
#include "TiloObjCBridge/tilo.h"
#include "mediation/AdSource.h"
#include "platform/Json.h"
#include "support/SdkFixture.h"

namespace tilo::test {
namespace {

SdkFixtureOptions cApiOptions() {
  SdkFixtureOptions options;
  options.appInfoJson =
      R"({"adUnits":[)"
      R"({"tiloAdUnitId":"inter","mediationAdUnitId":"gad/inter","name":"I","type":"interstitial"},)"
      R"({"tiloAdUnitId":"reward","mediationAdUnitId":"gad/reward","name":"R","type":"rewarded"}],)"
      R"("feeRate":0.15})";
  return options;
}

// What a C host records: one line per callback, strings copied during the call.
struct Host {
  std::vector<std::string> calls;
  tilo_interstitial_ad* interstitial = nullptr;
  tilo_rewarded_ad* rewarded = nullptr;
  tilo_interstitial_loader* loaderToDestroy = nullptr;

  static Host& of(void* context) { return *static_cast<Host*>(context); }
  static std::string info(const tilo_ad_info* info) {
    if (!info) return "no info";
    return std::string(info->ad_format) + " " + info->ad_unit_id + " " +
           std::to_string(std::lround(info->latency_ms)) + " " +
           (info->ad_network ? info->ad_network : "NULL");
  }
  static std::string error(const tilo_error* error) {
    return std::to_string(error->code) + " " + error->message;
  }
};

void onInit(void* context, const tilo_error* error) {
  Host::of(context).calls.push_back(error ? "init failed " + Host::error(error) : "init ok");
}

tilo_interstitial_callbacks interstitialCallbacks() {
  tilo_interstitial_callbacks callbacks{};
  callbacks.on_load_success = [](void* c, tilo_interstitial_ad* ad, const tilo_ad_info* info) {
    Host::of(c).interstitial = ad;
    Host::of(c).calls.push_back("loaded " + Host::info(info));
  };
  callbacks.on_load_fail = [](void* c, const tilo_error* error) {
    Host::of(c).calls.push_back("load failed " + Host::error(error));
  };
  callbacks.on_impression = [](void* c, const tilo_ad_info*) {
    Host::of(c).calls.push_back("impression");
  };
  callbacks.on_clicked = [](void* c, const tilo_ad_info*) { Host::of(c).calls.push_back("click"); };
  callbacks.on_shown = [](void* c, const tilo_ad_info* info) {
    Host::of(c).calls.push_back("shown " + Host::info(info));
  };
  callbacks.on_failed_to_show = [](void* c, const tilo_ad_info*, const tilo_error* error) {
    Host::of(c).calls.push_back("failed to show " + Host::error(error));
  };
  callbacks.on_dismiss = [](void* c, const tilo_ad_info*) {
    Host::of(c).calls.push_back("dismiss");
  };
  return callbacks;
}

class CApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mediation::AdSource::shared().reset();
    ASSERT_EQ(tilo_initialize(onInit, &host), TILO_STATUS_OK);
    ASSERT_TRUE(sdk.drive([&] { return !host.calls.empty(); }));
    ASSERT_EQ(host.calls, std::vector<std::string>{"init ok"});
    host.calls.clear();
  }
  void TearDown() override {
    mediation::AdSource::shared().reset();
    setCurrentLogLevel(TiloLogLevel::off);
  }

  static void script(const std::string& unit, const std::string& json) {
    auto error = mediation::AdSource::shared().loadScenario(
        platform::parseJson(R"({"units":{")" + unit + R"(":)" + json + "}}"));
    ASSERT_FALSE(error) << *error;
  }

  SdkFixture sdk{cApiOptions()};
  Host host;
};

TEST_F(CApiTest, WrongArgumentsReturnAnErrorAndChangeNothing) {
  EXPECT_EQ(tilo_set_log_level(3), TILO_STATUS_INVALID_ARGUMENT);
  EXPECT_EQ(currentLogLevel(), TiloLogLevel::off);
  EXPECT_EQ(tilo_set_has_user_consent(2), TILO_STATUS_INVALID_ARGUMENT);
  EXPECT_EQ(tilo_set_do_not_sell(-2), TILO_STATUS_INVALID_ARGUMENT);
  EXPECT_FALSE(TiloAds::shared().hasUserConsent());
  EXPECT_FALSE(TiloAds::shared().doNotSell());
  EXPECT_EQ(tilo_run_main_loop_for(-1), TILO_STATUS_INVALID_ARGUMENT);
  EXPECT_EQ(tilo_run_main_loop_for(NAN), TILO_STATUS_INVALID_ARGUMENT);
  EXPECT_EQ(tilo_run_main_loop_for(INFINITY), TILO_STATUS_INVALID_ARGUMENT);

  EXPECT_EQ(tilo_interstitial_loader_create(nullptr), nullptr);
  EXPECT_EQ(tilo_rewarded_loader_create(nullptr), nullptr);
  const tilo_interstitial_callbacks callbacks = interstitialCallbacks();
  EXPECT_EQ(tilo_interstitial_loader_load(nullptr, &callbacks, &host),
            TILO_STATUS_INVALID_ARGUMENT);
  tilo_interstitial_loader* loader = tilo_interstitial_loader_create("inter");
  ASSERT_NE(loader, nullptr);
  EXPECT_EQ(tilo_interstitial_loader_load(loader, nullptr, &host), TILO_STATUS_INVALID_ARGUMENT);
  EXPECT_EQ(tilo_rewarded_loader_load(nullptr, nullptr, nullptr), TILO_STATUS_INVALID_ARGUMENT);
  EXPECT_EQ(tilo_interstitial_ad_is_ready(nullptr), TILO_STATUS_INVALID_ARGUMENT);
  EXPECT_EQ(tilo_rewarded_ad_is_ready(nullptr), TILO_STATUS_INVALID_ARGUMENT);
  EXPECT_EQ(tilo_interstitial_ad_show(nullptr), TILO_STATUS_INVALID_ARGUMENT);
  EXPECT_EQ(tilo_rewarded_ad_show(nullptr), TILO_STATUS_INVALID_ARGUMENT);
  tilo_interstitial_loader_destroy(nullptr);
  tilo_interstitial_ad_destroy(nullptr);
  tilo_rewarded_loader_destroy(nullptr);
  tilo_rewarded_ad_destroy(nullptr);
  // None of the refused calls started a load.
  sdk.drive([] { return false; }, 5);
  EXPECT_TRUE(host.calls.empty());
  tilo_interstitial_loader_destroy(loader);
}

TEST_F(CApiTest, SettersReachTheSdk) {
  EXPECT_EQ(tilo_set_log_level(TILO_LOG_LEVEL_ERROR), TILO_STATUS_OK);
  EXPECT_EQ(currentLogLevel(), TiloLogLevel::error);
  auto& ads = TiloAds::shared();
  EXPECT_EQ(tilo_set_user_id("player-7"), TILO_STATUS_OK);
  EXPECT_EQ(ads.userId(), "player-7");
  EXPECT_EQ(tilo_set_user_id(nullptr), TILO_STATUS_OK);
  EXPECT_FALSE(ads.userId());
  EXPECT_EQ(tilo_set_has_user_consent(TILO_YES), TILO_STATUS_OK);
  EXPECT_EQ(tilo_set_do_not_sell(TILO_NO), TILO_STATUS_OK);
  EXPECT_EQ(tilo_set_child_directed(TILO_YES), TILO_STATUS_OK);
  EXPECT_EQ(tilo_set_gdpr_consent_string("CP-gdpr"), TILO_STATUS_OK);
  EXPECT_EQ(tilo_set_ccpa_string("1YNN"), TILO_STATUS_OK);
  // Tracking: not authorized until the host says so (Linux has no system prompt).
  EXPECT_FALSE(ads.privacySnapshot().isTrackingAuthorized);
  EXPECT_EQ(tilo_set_tracking_authorization(4), TILO_STATUS_INVALID_ARGUMENT);
  EXPECT_EQ(tilo_set_tracking_authorization(TILO_TRACKING_AUTHORIZED), TILO_STATUS_OK);
  const PrivacySettings privacy = ads.privacySnapshot();
  EXPECT_TRUE(privacy.isTrackingAuthorized);
  EXPECT_EQ(tilo_set_tracking_authorization(TILO_TRACKING_DENIED), TILO_STATUS_OK);
  EXPECT_EQ(ads.trackingAuthorizationStatus(), platform::TrackingAuthorizationStatus::denied);
  EXPECT_FALSE(ads.privacySnapshot().isTrackingAuthorized);
  ads.setTrackingAuthorizationStatus(platform::TrackingAuthorizationStatus::notDetermined);
  EXPECT_EQ(privacy.hasUserConsent, true);
  EXPECT_EQ(privacy.doNotSell, false);
  EXPECT_EQ(privacy.isChildDirected, true);
  EXPECT_EQ(privacy.gdprConsentString, "CP-gdpr");
  EXPECT_EQ(privacy.ccpaString, "1YNN");
  EXPECT_EQ(tilo_set_has_user_consent(TILO_UNSET), TILO_STATUS_OK);
  EXPECT_EQ(tilo_set_ccpa_string(nullptr), TILO_STATUS_OK);
  EXPECT_FALSE(ads.hasUserConsent());
  EXPECT_FALSE(ads.ccpaString());
}

TEST_F(CApiTest, InterstitialLoadsShowsAndReportsThroughCallbacks) {
  script("gad/inter", R"({"click":true,"dismissAfterMs":500,"latencies":[0.05,0.12]})");
  tilo_interstitial_loader* loader = tilo_interstitial_loader_create("inter");
  const tilo_interstitial_callbacks callbacks = interstitialCallbacks();
  ASSERT_EQ(tilo_interstitial_loader_load(loader, &callbacks, &host), TILO_STATUS_OK);
  ASSERT_TRUE(sdk.drive([&] { return host.interstitial != nullptr; }));
  EXPECT_EQ(host.calls, std::vector<std::string>{"loaded interstitial inter 170 AdMob"});
  EXPECT_EQ(tilo_interstitial_ad_is_ready(host.interstitial), 1);

  ASSERT_EQ(tilo_interstitial_ad_show(host.interstitial), TILO_STATUS_OK);
  sdk.env().advance(0.5);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"loaded interstitial inter 170 AdMob",
                                                  "shown interstitial inter 170 AdMob",
                                                  "impression", "click", "dismiss"}));
  // An ad shows once; a second show is silent.
  EXPECT_EQ(tilo_interstitial_ad_is_ready(host.interstitial), 0);
  host.calls.clear();
  EXPECT_EQ(tilo_interstitial_ad_show(host.interstitial), TILO_STATUS_OK);
  sdk.drive([] { return false; }, 2);
  EXPECT_TRUE(host.calls.empty());
  tilo_interstitial_ad_destroy(host.interstitial);

  // A scripted no-fill arrives as the SDK's error, its text valid during the call.
  script("gad/inter", R"({"result":"error","error":{"code":1,"description":"No fill."}})");
  ASSERT_EQ(tilo_interstitial_loader_load(loader, &callbacks, &host), TILO_STATUS_OK);
  ASSERT_TRUE(sdk.drive([&] { return !host.calls.empty(); }));
  ASSERT_EQ(host.calls.size(), 1u);
  EXPECT_EQ(host.calls[0].rfind("load failed 204 No fill.", 0), 0u) << host.calls[0];
  tilo_interstitial_loader_destroy(loader);
}

TEST_F(CApiTest, RewardedReportsTheRewardAndFailedPresentation) {
  script("gad/reward", R"({"reward":{"amount":3000000000,"type":"coins"},"dismissAfterMs":0})");
  tilo_rewarded_loader* loader = tilo_rewarded_loader_create("reward");
  tilo_rewarded_callbacks callbacks{};
  callbacks.on_load_success = [](void* c, tilo_rewarded_ad* ad, const tilo_ad_info* info) {
    Host::of(c).rewarded = ad;
    Host::of(c).calls.push_back("loaded " + Host::info(info));
  };
  callbacks.on_failed_to_show = [](void* c, const tilo_ad_info*, const tilo_error* error) {
    Host::of(c).calls.push_back("failed to show " + std::to_string(error->code));
  };
  callbacks.on_earned_reward = [](void* c, const tilo_ad_info*, const tilo_reward* reward) {
    Host::of(c).calls.push_back("reward " + std::to_string(reward->amount) + " " + reward->type);
  };
  callbacks.on_dismiss = [](void* c, const tilo_ad_info*) {
    Host::of(c).calls.push_back("dismiss");
  };
  ASSERT_EQ(tilo_rewarded_loader_load(loader, &callbacks, &host), TILO_STATUS_OK);
  ASSERT_TRUE(sdk.drive([&] { return host.rewarded != nullptr; }));
  EXPECT_EQ(tilo_rewarded_ad_is_ready(host.rewarded), 1);
  ASSERT_EQ(tilo_rewarded_ad_show(host.rewarded), TILO_STATUS_OK);
  sdk.env().runUntilIdle();
  // Callbacks left NULL (shown, impression) are skipped.
  EXPECT_EQ(host.calls, (std::vector<std::string>{"loaded rewarded reward 0 AdMob",
                                                  "reward 3000000000 coins", "dismiss"}));
  tilo_rewarded_ad_destroy(host.rewarded);

  host.calls.clear();
  host.rewarded = nullptr;
  script("gad/reward", R"({"presentError":{"code":18,"description":"Ad has already been used."}})");
  ASSERT_EQ(tilo_rewarded_loader_load(loader, &callbacks, &host), TILO_STATUS_OK);
  ASSERT_TRUE(sdk.drive([&] { return host.rewarded != nullptr; }));
  ASSERT_EQ(tilo_rewarded_ad_show(host.rewarded), TILO_STATUS_OK);
  sdk.env().runUntilIdle();
  ASSERT_EQ(host.calls.size(), 2u);
  EXPECT_EQ(host.calls[1].rfind("failed to show ", 0), 0u);
  tilo_rewarded_ad_destroy(host.rewarded);
  tilo_rewarded_loader_destroy(loader);
}

TEST_F(CApiTest, DestroyedHandlesNeverCallBack) {
  script("gad/inter", R"({"delayMs":200,"click":true,"dismissAfterMs":300})");
  const tilo_interstitial_callbacks callbacks = interstitialCallbacks();

  // 1. A loader destroyed while its load is in flight: the load ends silently.
  tilo_interstitial_loader* gone = tilo_interstitial_loader_create("inter");
  ASSERT_EQ(tilo_interstitial_loader_load(gone, &callbacks, &host), TILO_STATUS_OK);
  sdk.env().runUntilIdle();
  tilo_interstitial_loader_destroy(gone);
  sdk.drive([] { return false; }, 2);
  EXPECT_TRUE(host.calls.empty());

  // 2. A loader destroyed inside its own success callback.
  tilo_interstitial_callbacks destroying = callbacks;
  destroying.on_load_success = [](void* c, tilo_interstitial_ad* ad, const tilo_ad_info*) {
    Host& host = Host::of(c);
    host.interstitial = ad;
    host.calls.push_back("loaded");
    tilo_interstitial_loader_destroy(std::exchange(host.loaderToDestroy, nullptr));
  };
  host.loaderToDestroy = tilo_interstitial_loader_create("inter");
  ASSERT_EQ(tilo_interstitial_loader_load(host.loaderToDestroy, &destroying, &host),
            TILO_STATUS_OK);
  ASSERT_TRUE(sdk.drive([&] { return host.interstitial != nullptr; }));
  EXPECT_EQ(host.loaderToDestroy, nullptr);

  // 3. Its ad still shows, but impressions and clicks went with the loader.
  ASSERT_EQ(tilo_interstitial_ad_show(host.interstitial), TILO_STATUS_OK);
  sdk.env().advance(1);
  EXPECT_EQ(host.calls,
            (std::vector<std::string>{"loaded", "shown interstitial inter 0 AdMob", "dismiss"}));
  tilo_interstitial_ad_destroy(host.interstitial);

  // 4. An ad destroyed mid-presentation stays alive in its loader, but its dismissal no
  //    longer reaches the host.
  host.calls.clear();
  host.interstitial = nullptr;
  tilo_interstitial_loader* loader = tilo_interstitial_loader_create("inter");
  ASSERT_EQ(tilo_interstitial_loader_load(loader, &callbacks, &host), TILO_STATUS_OK);
  ASSERT_TRUE(sdk.drive([&] { return host.interstitial != nullptr; }));
  ASSERT_EQ(tilo_interstitial_ad_show(host.interstitial), TILO_STATUS_OK);
  sdk.env().runUntilIdle();
  tilo_interstitial_ad_destroy(host.interstitial);
  sdk.env().advance(1);
  EXPECT_EQ(host.calls,
            (std::vector<std::string>{"loaded interstitial inter 0 AdMob",
                                      "shown interstitial inter 0 AdMob", "impression", "click"}));
  tilo_interstitial_loader_destroy(loader);
}

}  // namespace
}  // namespace tilo::test
