// tilo-demo as a user runs it: a real process with its embedded backend on loopback, its
// exit status and what it prints, across runs that share one container.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Tilo/base/TiloAdFormat.h"
#include "platform/FileSystem.h"
#include "platform/Json.h"
#include "support/ChildProcess.h"
#include "support/GoldenImage.h"
#include "support/TempDir.h"
#include "tools/demo/DemoOptions.h"
#include "tools/demo/DemoWorkspace.h"

namespace tilo::test {
namespace {

using platform::FileSystem;

bool contains(const ChildRun& run, const std::string& text) {
  return run.out.find(text) != std::string::npos;
}

std::size_t count(const ChildRun& run, const std::string& text) {
  std::size_t n = 0;
  for (auto at = run.out.find(text); at != std::string::npos; at = run.out.find(text, at + 1)) ++n;
  return n;
}

// Each text appears, in this order.
void expectInOrder(const ChildRun& run, const std::vector<std::string>& texts) {
  std::size_t at = 0;
  for (const auto& text : texts) {
    const auto found = run.out.find(text, at);
    ASSERT_NE(found, std::string::npos) << "missing, or out of order: " << text << "\n" << run.out;
    at = found + text.size();
  }
}

std::string readText(const std::filesystem::path& path) {
  return FileSystem::readFile(path).value_or("");
}

// Runs of the built demo, a minute at most each, that share one container.
class DemoTest : public ::testing::Test {
 protected:
  // Standard output and error interleaved. `skipIdle` lets the demo jump over the time its
  // timers leave it idle (the light popup's 6 s).
  ChildRun demo(std::vector<std::string> args, bool skipIdle = false) {
    args.insert(args.begin(), {TILO_TOOLS_DIR "/tilo-demo", "--container", container});
    return runChild(args, {skipIdle ? "TILO_DEMO_SKIP_IDLE=1" : "TILO_DEMO_SKIP_IDLE"}, true);
  }
  // Writes the test ads' scenario; returns its path.
  std::string scenario(const std::string& json) {
    FileSystem::atomicWrite(dir.path() / "scenario.json", json);
    return (dir.path() / "scenario.json").string();
  }

  TempDir dir;
  const std::string container = (dir.path() / "app").string();
};

TEST_F(DemoTest, DefaultRunShowsEveryCallbackAndWhatTheBackendStored) {
  const ChildRun run = demo({"--formats", "rewarded"});
  ASSERT_EQ(run.exitCode, 0) << run.out;

  // 1. Start-up through the SDK, at debug level by default.
  expectInOrder(run, {"(generated)", "[TILO] ", "DEBUG initialized with app key", "(embedded)",
                      "🏁 SDK 초기화 완료", "initialized\n", "demo-rewarded -> ca-app-pub-",
                      "type rewarded", "fee rate 0.15"});
  // 2. The embedded scenario: fill, revenue net of the 0.15 fee, a click that then leaves
  //    through the host, the reward once the countdown ends, dismissal.
  expectInOrder(run,
                {"Registered plugin: tilo-demo revenue printer",
                 "onAdLoadSuccess rewarded demo-rewarded latency 170 ms network \"AdMob\"",
                 "isReady true", "onShown", "onAdImpression",
                 R"("revenueInfo":{"value":"0.010625","currencyCode":"USD","precisionType":3})",
                 "onAdClicked", "open URL https://example.com/tilo/test-ads/sky-harbor",
                 "onEarnedReward 10 coins", "onDismiss", "rewarded: ok"});
  EXPECT_FALSE(contains(run, "interstitial (")) << "only the requested format runs";
  // 3. The upload at the background transition, as the backend stored it.
  expectInOrder(run, {"the backend stored 4 events: ad_request 1, ad_response 1, "
                      "ad_impression 1, ad_click 1",
                      "ad_request  rewarded_video  demo-rewarded  latency -  network -",
                      "ad_response  rewarded_video  demo-rewarded  latency 170  network AdMob",
                      "ad_impression  rewarded_video  demo-rewarded  latency 170  network AdMob",
                      "ad_click  rewarded_video  demo-rewarded", "outside-SDK calls",
                      "GADMobileAds startWithCompletionHandler:"});
  // 4. The bundle stays in the container, so the next run keeps the same app key. There a
  //    scripted fill whose presentation fails is an expected outcome too.
  const ChildRun again = demo({"--formats", "interstitial", "--scenario",
                               scenario(R"({"default": {"presentError": {"code": 18,
                                      "description": "Ad has already been used."}}})")});
  EXPECT_EQ(again.exitCode, 0) << again.out;
  EXPECT_TRUE(contains(again, "(reused)"));
  expectInOrder(again, {"onFailedToShow", "interstitial: ok"});
}

TEST_F(DemoTest, CrashInsideAHostCallbackIsReportedByTheNextRunOnly) {
  const std::string fast = scenario(R"({"default": {"dismissAfterMs": 0, "click": false}})");

  // 1. A first launch has no cached sdkConfig, so it relaunches once with markers on and
  //    then aborts inside the impression callback, leaving the callback's marker behind.
  const ChildRun crash =
      demo({"--scenario", fast, "--formats", "interstitial", "--crash-at", "onAdImpression"});
  EXPECT_EQ(crash.signal, SIGABRT) << crash.out;
  expectInOrder(crash, {"relaunching once", "initialized\n", "onAdImpression",
                        "crashing inside onAdImpression"});

  // 2. The next run reports that crash once (the flag is gone once reported: CrashMarkersTest),
  //    and runs normally, round after round.
  const ChildRun next =
      demo({"--scenario", fast, "--formats", "interstitial,appOpen", "--repeat", "2"});
  ASSERT_EQ(next.exitCode, 0) << next.out;
  EXPECT_EQ(count(next,
                  "marker_checkpoint  checkpoint ad_callback  metadata "
                  R"({"phase":"onAdImpression","unitId":"demo-interstitial","network":"AdMob"})"),
            1u)
      << next.out;
  expectInOrder(next, {"round 1 of 2", "interstitial: ok", "appOpen: ok", "round 2 of 2",
                       "interstitial: ok", "appOpen: ok",
                       "the backend stored 13 events: marker_checkpoint 1, ad_request 4, "
                       "ad_response 4, ad_impression 4\n"});
  EXPECT_EQ(count(next, "interstitial: ok"), 2u);
  EXPECT_FALSE(contains(next, "relaunching")) << "markers are on from the cached sdkConfig";
}

TEST_F(DemoTest, ExitCodeFollowsTheScenarioAndTheCommandLine) {
  // 1. A scripted no-fill is the expected outcome, for the full-screen path and the
  //    template's: exit 0, the error printed, nothing shown, no SDK lines at level off.
  const std::string noFill =
      scenario(R"({"default": {"result": "error", "error": {"domain": "com.google.admob", "code": 1,
               "description": "No fill."}}})");
  for (const std::string format : {"interstitial", "lightPopup"}) {
    const ChildRun empty = demo({"--scenario", noFill, "--formats", format, "--log-level", "off"});
    EXPECT_EQ(empty.exitCode, 0) << empty.out;
    expectInOrder(empty, {"onAdLoadFail noFill, No fill.", format + ": no ad, as scripted"});
    EXPECT_FALSE(contains(empty, "[TILO] ")) << format;
    EXPECT_FALSE(contains(empty, "outside-SDK calls")) << format;
    EXPECT_FALSE(contains(empty, "onShown")) << format;
  }

  // 2. A unit the backend does not know fails the run with the synchronizer's error, and
  //    its format is not loaded.
  const ChildRun unknownUnit = demo(
      {"--formats", "interstitial", "--unit", "interstitial=no-such-unit", "--scenario", noFill});
  EXPECT_EQ(unknownUnit.exitCode, 1) << unknownUnit.out;
  EXPECT_TRUE(contains(unknownUnit, "  no-such-unit: ")) << unknownUnit.out;
  EXPECT_FALSE(contains(unknownUnit, "interstitial (")) << unknownUnit.out;

  // 3. Usage mistakes, found by the parser or once the options are read: exit 2, before
  //    anything starts.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--frobnicate", "1"}, {"--api-base-url", "http://example.com"}}) {
    const ChildRun bad = demo(args);
    EXPECT_EQ(bad.exitCode, 2) << args[0] << "\n" << bad.out;
    EXPECT_FALSE(contains(bad, "initialized\n")) << args[0];
  }
}

// With --campaigns the embedded backend is the exchange: its house ads are shown, paid at
// their price (net of the fee) and closed by the player.
TEST_F(DemoTest, RealAdsFromTheEmbeddedExchange) {
  const ChildRun run = demo({"--campaigns", "sample", "--formats", "rewarded,banner", "--dwell-ms",
                             "0", "--log-level", "off"},
                            true);
  ASSERT_EQ(run.exitCode, 0) << run.out;
  // (What the exchange's ads pay, net of the fee, and from which network: RealAdsTest.)
  expectInOrder(run, {"real ads from the exchange at http://127.0.0.1:", "/openrtb2/auction",
                      "onAdLoadSuccess rewarded demo-rewarded", "onEarnedReward 1 reward",
                      "the player closes the ad", "onDismiss", "won by Tilo House at 4 USD CPM",
                      "rewarded: ok", "onAdImpression banner demo-banner"});
}

using demo::DemoFormat;
using demo::DemoOptions;
using demo::UsageError;

TEST(DemoOptionsTest, FormatsAppearanceAndUnits) {
  // 1. "all" is the default (which runs all eight, the templates included: the snapshot run).
  EXPECT_EQ(DemoOptions::parse({"--formats", "all"}).formats, DemoOptions::parse({}).formats);
  // 2. Named formats keep their order and drop repeats; names are exact.
  EXPECT_EQ(DemoOptions::parse({"--formats", "lineBanner,lightPopup,lineBanner"}).formats,
            (std::vector<DemoFormat>{DemoFormat::lineBanner, DemoFormat::lightPopup}));
  // 3. Light asked for by name (the default and dark: the templates test's windows).
  EXPECT_EQ(DemoOptions::parse({"--appearance", "light"}).appearance,
            platform::UIUserInterfaceStyle::light);
  // 4. --unit replaces one format's unit only.
  const auto units = DemoOptions::parse({"--unit", "lineBanner=my-line"}).units;
  EXPECT_EQ(units.at(DemoFormat::lineBanner), "my-line");
  EXPECT_EQ(units.at(DemoFormat::lightPopup), "demo-light-popup");
  // The backend the demo embeds knows each unit's type (the line banner's is native).
  const auto appInfo = platform::parseJson(demo::embeddedAppInfoJson());
  for (const auto& unit : appInfo["adUnits"]) {
    EXPECT_TRUE(tiloAdFormatFromRawValue(unit["type"].get<std::string>())) << unit.dump();
  }

  // 5. Every malformed value, and names that are only almost right, are usage errors (one
  //    unknown name a lookup, one value missing: they share their code).
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--formats", "popup"},
        {"--formats", "linebanner"},
        {"--formats", "banner,lineBanners"},
        {"--crash-at", "onNothing"},
        {"--log-level", "loud"},
        {"--appearance", "Dark"},
        {"--repeat", "0"},
        {"--dwell-ms", "-1"},
        {"--unit", "interstitial"},
        {"--scenario", "s.json", "--campaigns", "sample"},
        {"--demand", "https://x", "--campaigns", "sample"},
        {"--api-base-url", "https://x", "--campaigns", "sample"},
        {"--container"}}) {
    EXPECT_THROW(DemoOptions::parse(args), UsageError) << args[0] << " " << args.back();
  }
}

// Every format in light, the full-screen ones and the line in dark: the README's pictures are
// what it draws (TILO_UPDATE_GOLDEN=1 rewrites docs/images), and the popup does not hold it up.
TEST_F(DemoTest, SnapshotsAreTheReadmePicturesAndThePopupClosesOnItsTimer) {
  const auto light = dir.path() / "light";
  const auto dark = dir.path() / "dark";
  const ChildRun run =
      demo({"--dwell-ms", "0", "--log-level", "off", "--snapshots", light.string()},
           /*skipIdle=*/true);
  ASSERT_EQ(run.exitCode, 0) << run.out;

  // 1. The line banner is snapshotted; the popup is snapshotted while presented and closed
  //    by its own timer 6 s after onShown. (Each format's impression, and click where its
  //    script clicks, the demo checks itself before it says "ok".)
  expectInOrder(run, {"snapshot " + (light / "lineBanner.png").string(), "onShown lightPopup",
                      "snapshot " + (light / "lightPopup.png").string(),
                      "lightPopup closed by its timer 6.0 s after onShown", "lightPopup: ok",
                      "demo finished: every requested format behaved"});
  // ...in virtual time: the run skips most of the popup's 6 s instead of sitting them out
  // (what it spent drawing and loading meanwhile is real time, more on a loaded machine).
  const std::size_t skippedAt = run.out.find("idle time skipped: ");
  ASSERT_NE(skippedAt, std::string::npos) << run.out;
  EXPECT_GT(std::stod(run.out.substr(skippedAt + 19)), 1.0) << run.out;

  // 2. The view formats as their ads alone (the window's pixels under them), so they can be
  //    read; the whole window and its layout dump beside them. The line is the strip under
  //    the safe-area top, the banner sits above the bottom one (844 - 34 - 50).
  const std::filesystem::path docs = TILO_SOURCE_DIR "/docs/images";
  for (const std::string name : {"banner", "mrec", "native", "lineBanner"}) {
    expectGoldenFile(light / (name + "-ad.png"), docs / (name + ".png"));
    EXPECT_GT(std::filesystem::file_size(light / (name + ".png")), 1000u) << name;
    EXPECT_NE(readText(light / (name + ".json")).find("\"id\": \"" + name + "\""),
              std::string::npos);
  }
  const platform::ParsedJson lineDump = platform::parseJson(readText(light / "lineBanner.json"));
  EXPECT_EQ(lineDump["views"][0]["frame"], platform::ParsedJson::array({0, 47, 390, 60}));
  EXPECT_NE(readText(light / "banner.json").find("[35, 760, 320, 50]"), std::string::npos);
  EXPECT_NE(readText(light / "lightPopup.json").find("\"id\": \"lightPopup.card\""),
            std::string::npos);
  for (const std::string name :
       {"interstitial", "rewarded", "rewarded-granted", "lightPopup", "appOpen"}) {
    expectGoldenFile(light / (name + ".png"), docs / (name + ".png"));
  }

  // 3. The window, its appearance and its own background, in light and in dark.
  const ChildRun night =
      demo({"--formats", "interstitial,rewarded,appOpen,lineBanner", "--dwell-ms", "0",
            "--log-level", "off", "--snapshots", dark.string(), "--appearance", "dark"},
           true);
  ASSERT_EQ(night.exitCode, 0) << night.out;
  for (const std::string name : {"interstitial", "rewarded", "rewarded-granted", "appOpen"}) {
    expectGoldenFile(dark / (name + ".png"), docs / (name + "-dark.png"));
  }
  const std::string window =
      R"({"width":390,"height":844,"scale":3,"safeArea":[47,0,34,0],"appearance":)";
  EXPECT_EQ(lineDump["window"],
            platform::parseJson(window + R"("light","backgroundColor":"#FFFFFFFF"})"));
  EXPECT_EQ(platform::parseJson(readText(dark / "lineBanner.json"))["window"],
            platform::parseJson(window + R"("dark","backgroundColor":"#000000FF"})"));
}

}  // namespace
}  // namespace tilo::test
