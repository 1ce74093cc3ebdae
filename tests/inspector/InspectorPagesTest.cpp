// The inspector's pages as a person sees them: each page drawn from one fixed snapshot in
// light and dark, compared with tests/inspector/golden (tolerance in support/GoldenImage.h);
// and what the pages do with hostile texts and secrets. After an intended change:
//   TILO_UPDATE_GOLDEN=1 build/debug/tilo_inspector_tests --gtest_filter='*Golden*'
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "Tilo/inspector/InspectorPages.h"
#include "Tilo/inspector/InspectorText.h"
#include "Tilo/inspector/InspectorView.h"
#include "platform/TestEnvironment.h"
#include "platform/ui/UIWindow.h"
#include "support/GoldenImage.h"

namespace tilo::inspector {
namespace {

constexpr double kNow = 1767225600.0 + 9 * 3600 + 41 * 60;  // 2026-01-01 09:41 UTC

RecentLoad load(double ago, LoadOutcome outcome, double latencyMs) {
  RecentLoad recent;
  recent.startedAt = kNow - ago;
  recent.outcome = outcome;
  if (outcome != LoadOutcome::loading) recent.latencyMs = latencyMs;
  if (outcome == LoadOutcome::filled) recent.network = "AdMob";
  return recent;
}

// A start-up that went well, two units with loads (one failing with a hostile text), the
// networks started and one crash found.
InspectorSnapshot fixedSnapshot() {
  InspectorSnapshot s;
  s.now = kNow;
  s.version = "1.1.44-beta";
  s.state = SdkState::initialized;
  s.startup.started = true;
  s.startup.startedAt = kNow - 120;
  s.startup.durationMs = 412;
  s.startup.privacy.hasUserConsent = true;
  s.startup.privacy.gdprConsentString = maskSecret("CPXxRfAPXxRfAAfKABENB-CgAAAAAAAAAAYgAAAAAAAA");
  s.startup.privacy.isChildDirected = false;
  s.backendUrl = "http://127.0.0.1:8080";
  s.appKey = maskSecret("my-app-key-0123456789");
  s.scenario = "built-in test ads";
  s.logLevel = "error";
  s.trackingAuthorization = "not determined";

  InspectorUnit rewarded{"rewarded", "Rewarded", "rewarded", "ca-app-pub-0000000000000000/rewarded",
                         {},         true,       {},         ""};
  auto filled = load(30, LoadOutcome::filled, 118);
  filled.revenue = "0.010625 USD";
  auto failed = load(20, LoadOutcome::failed, 1002);
  failed.errorCode = 204;
  failed.errorMessage = "No fill.\n\x1b[31mred\x1b[0m \xff" + std::string(10'000, 'x');
  rewarded.loads = {filled, failed, load(1, LoadOutcome::loading, 0)};
  InspectorUnit banner{"banner",
                       "Banner",
                       "banner",
                       "ca-app-pub-0000000000000000/banner",
                       30.0,
                       true,
                       {load(60, LoadOutcome::filled, 95)},
                       "Shown"};
  InspectorUnit stray{
      "unit\twith\ncontrols" + std::string(10'000, 'u'), "", "interstitial", "", {}, false, {}, ""};
  s.units = {rewarded, banner, stray};

  s.networks = {{"Pangle", true, 3, {}},
                {"Chartboost", true, 2, {"Chartboost addDataUseConsent: CHBGDPRDataUseConsent(1)"}},
                {"Fyber", true, 4, {"IASDKCore setGDPRConsentString: CPXx••••"}},
                {"AdMob", false, 15, {}}};
  AdEventLogger::Stats analytics;
  analytics.queued = 3;
  analytics.sent = 40;
  analytics.uploads = 2;
  analytics.lastUploadAt = kNow - 5;
  analytics.lastUploadSucceeded = true;
  analytics.lastUploadEvents = 20;
  s.analytics = analytics;
  s.crashCheckDone = true;
  s.crashReports = {{"ad_callback", kNow - 3600,
                     R"({"phase":"onAdImpression","unitId":"rewarded"})",
                     "01KDX3T9N0ABCDEFGHJKMNPQRS"}};
  s.crashReportCount = 1;
  return s;
}

// An exchange configured and its last three answers: a bid, no bid and a hostile error.
InspectorSnapshot withDemand(InspectorSnapshot s) {
  s.demandUrl = "http://127.0.0.1:8080/openrtb2/auction?token=secret-token";
  const auto request = mediation::demand::DemandLog::masked(
      R"({"id":"a1","imp":[{"tagid":"gad/inter","instl":1}],"regs":{"gdpr":1},)"
      R"("user":{"consent":"CPXxRfAPXxRfAAfKABENB"}})",
      {"CPXxRfAPXxRfAAfKABENB"});
  const mediation::demand::DemandRecord noBid{
      kNow - 20, "a1", "banner", "gad/banner", request, 204, "no bid", "", {}, {}, {}, {}, {}, 38};
  auto error = noBid;
  error.at = kNow - 3;
  error.status = 0;
  error.outcome = "error";
  error.detail = "connection refused\n\x1b[31m" + std::string(5'000, 'x');
  error.latencyMs = 0;
  s.demand = {{kNow - 42, "a1", "interstitial", "gad/inter", request, 200, "bid", "", "Tilo House",
               "4", "USD", "sky-harbor", "b-1", 38},
              noBid,
              error};
  return s;
}

class InspectorPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The pages show local times: one zone for every machine.
    setenv("TZ", "UTC", 1);
    tzset();
  }
  platform::TestEnvironment env;
};

// Without an exchange the Demand page has no tab (the other pages' pictures show four); with
// one it is drawn from the exchange's last answers.
TEST_F(InspectorPagesTest, EveryPageGoldenInLightAndDark) {
  const auto plain = fixedSnapshot();
  const auto demand = withDemand(plain);
  const auto pages = inspectorPages();
  for (const auto appearance :
       {platform::UIUserInterfaceStyle::light, platform::UIUserInterfaceStyle::dark}) {
    for (std::size_t index = 0; index < pages.size(); ++index) {
      const auto& page = pages[index];
      const bool needsExchange = !shownPages(plain)[index];
      EXPECT_EQ(needsExchange, std::string(page.identifier) == "demand");
      EXPECT_TRUE(shownPages(demand)[index]);
      const auto& snapshot = needsExchange ? demand : plain;
      auto window = platform::UIWindow::create({390, 844}, 1, {47, 0, 34, 0});
      window->setAppearance(appearance);
      auto view = InspectorView::create();
      view->setFrame({0, 0, 390, 844});
      window->addSubview(view);
      view->show(index, page.build(snapshot), shownPages(snapshot));
      const std::string name = std::string(page.identifier) +
                               (appearance == platform::UIUserInterfaceStyle::dark ? "-dark" : "");
      SCOPED_TRACE(name);
      test::expectGoldenImage(*window, std::filesystem::path(TILO_SOURCE_DIR) /
                                           "tests/inspector/golden" / (name + ".png"));
    }
  }  // The exchange's token in its URL never shows.
  for (const auto& section : pages.back().build(demand).sections) {
    for (const auto& row : section.rows) {
      EXPECT_EQ((row.title + row.value + row.detail).find("secret-token"), std::string::npos);
    }
  }
}

TEST(InspectorText, ShowsHostileTextsOnOneLineCutToFit) {
  struct Case {
    std::string raw;
    std::size_t max;
    std::string shown;
  } cases[] = {
      {"plain", 10, "plain"},
      {"line\nbreak\ttab\x1b[31m", 40, "line\uFFFDbreak\uFFFDtab\uFFFD[31m"},
      {"bidi\u202Eevil\u2066", 40, "bidi\uFFFDevil\uFFFD"},
      {"bad \xff\xc0\x80 utf8", 40, "bad \uFFFD\uFFFD\uFFFD utf8"},
      {"exactly10!", 10, "exactly10!"},
      {"eleven char", 10, "eleven ch\u2026"},
      {"caf\u00e9\u00e9\u00e9", 5, "caf\u00e9\u2026"},
      {std::string(10'000, 'x'), 60, std::string(59, 'x') + "\u2026"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(shownText(c.raw, c.max), c.shown) << c.raw.substr(0, 40);
  }
  EXPECT_EQ(maskSecret("my-app-key-0123"), "my-a\u2022\u2022\u2022\u2022");
  EXPECT_EQ(maskSecret("short"), "\u2022\u2022\u2022\u2022");
  EXPECT_EQ(maskSecret("\u00e9\u00e9\u00e9\u00e9\u00e9"), "\u00e9\u00e9\u2022\u2022\u2022\u2022");
}

// The recorder behind the pages: bounded whatever the load path sends, answers paired with
// their requests, revenue on the load it paid for, consent strings masked as they arrive.
TEST(DiagnosticsRecorder, KeepsTheLastLoadsOfEachUnitWithinItsBounds) {
  platform::TestEnvironment env;
  auto& recorder = DiagnosticsRecorder::shared();
  recorder.reset();
  const TiloAdInfo unit{TiloAdFormat::rewarded, "rewarded", {}, std::string("AdMob")};

  // 1. Answers end the oldest running load of their unit, with its latency.
  recorder.adEvent(AdLogEventType::adRequest, unit, std::nullopt);
  env.advance(0.25);
  recorder.adEvent(AdLogEventType::adRequest, unit, std::nullopt);
  env.advance(0.5);
  recorder.adEvent(AdLogEventType::adResponseError, unit, AdResError{204, "No fill"});
  recorder.adEvent(AdLogEventType::adImpression, unit, std::nullopt);  // not a load
  auto loads = recorder.snapshot().units.at(0).loads;
  ASSERT_EQ(loads.size(), 2u);
  EXPECT_EQ(loads[0].outcome, LoadOutcome::failed);
  EXPECT_EQ(loads[0].latencyMs, 750);
  EXPECT_EQ(loads[0].errorCode, 204);
  EXPECT_EQ(loads[1].outcome, LoadOutcome::loading);
  recorder.adEvent(AdLogEventType::adResponse, unit, std::nullopt);
  recorder.revenuePaid("rewarded",
                       TiloRevenueInfo{*platform::Decimal::fromString("0.010625"), "USD", {}});
  loads = recorder.snapshot().units.at(0).loads;
  EXPECT_EQ(loads[1].outcome, LoadOutcome::filled);
  EXPECT_EQ(loads[1].network, "AdMob");
  EXPECT_EQ(loads[1].revenue, "0.010625 USD");
  EXPECT_FALSE(loads[0].revenue);

  // 2. Ten loads a unit, the oldest going first; texts cut; units capped, the least
  //    recently active going first.
  for (int i = 0; i < 15; ++i) recorder.adEvent(AdLogEventType::adRequest, unit, std::nullopt);
  recorder.adEvent(AdLogEventType::adResponseError, unit, AdResError{1, std::string(100'000, 'e')});
  auto units = recorder.snapshot().units;
  ASSERT_EQ(units.at(0).loads.size(), DiagnosticsRecorder::kLoadsPerUnit);
  EXPECT_EQ(units[0].loads[0].errorMessage.size(), DiagnosticsRecorder::kMaxTextBytes);
  for (std::size_t i = 0; i < DiagnosticsRecorder::kMaxUnits + 5; ++i) {
    recorder.adEvent(
        AdLogEventType::adRequest,
        TiloAdInfo{TiloAdFormat::banner, std::to_string(i) + std::string(5'000, 'u'), {}, {}},
        std::nullopt);
  }
  units = recorder.snapshot().units;
  ASSERT_EQ(units.size(), DiagnosticsRecorder::kMaxUnits);
  EXPECT_NE(units.front().adUnitId, "rewarded");
  EXPECT_EQ(units.back().adUnitId.size(), DiagnosticsRecorder::kMaxTextBytes);

  // 3. Privacy strings are masked on the way in.
  PrivacySettings privacy;
  privacy.gdprConsentString = "CPXxRfAPXxRfAAfKABENB";
  privacy.ccpaString = "1YNN";
  recorder.startupBegan(privacy);
  const auto startup = recorder.snapshot().startup;
  EXPECT_EQ(startup.privacy.gdprConsentString, "CPXx\u2022\u2022\u2022\u2022");
  EXPECT_EQ(startup.privacy.ccpaString, "\u2022\u2022\u2022\u2022");
  recorder.reset();
}

}  // namespace
}  // namespace tilo::inspector
