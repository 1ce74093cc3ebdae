// tilo-demo as a user runs it: a real process with its embedded backend on loopback, its
// exit status and what it prints, across runs that share one container.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Json.h"
#include "support/ChildProcess.h"
#include "support/GoldenImage.h"
#include "support/TempDir.h"
#include "tools/demo/DemoOptions.h"

namespace tilo::test {
namespace {

using platform::FileSystem;

struct DemoRun {
  int exitCode = -1;   // when it exited
  int signal = 0;      // when a signal ended it
  std::string output;  // standard output and error, interleaved

  // Position of `text` at or after `from`; npos when absent.
  std::size_t find(const std::string& text, std::size_t from = 0) const {
    return output.find(text, from);
  }
  bool contains(const std::string& text) const { return find(text) != std::string::npos; }
  std::size_t count(const std::string& text) const {
    std::size_t n = 0;
    for (auto at = find(text); at != std::string::npos; at = find(text, at + 1)) ++n;
    return n;
  }
};

// Runs the built demo with `args` (a minute at most). `skipIdle` lets the demo jump over
// the time its timers leave it idle (the light popup's 6 s).
DemoRun runDemo(const TempDir&, std::vector<std::string> args, bool skipIdle = false) {
  args.insert(args.begin(), TILO_TOOLS_DIR "/tilo-demo");
  const ChildRun run =
      runChild(args, {skipIdle ? "TILO_DEMO_SKIP_IDLE=1" : "TILO_DEMO_SKIP_IDLE"}, true);
  return DemoRun{run.exitCode, run.signal, run.out};
}

// Each text appears, in this order.
void expectInOrder(const DemoRun& run, const std::vector<std::string>& texts) {
  std::size_t at = 0;
  for (const auto& text : texts) {
    const auto found = run.find(text, at);
    ASSERT_NE(found, std::string::npos) << "missing, or out of order: " << text << "\n"
                                        << run.output;
    at = found + text.size();
  }
}

std::string readText(const std::filesystem::path& path) {
  return FileSystem::readFile(path).value_or("");
}

// Ads that close at once and never click, so runs take a fraction of a second.
std::string writeFastScenario(const TempDir& dir, const std::string& json) {
  const auto path = dir.path() / "scenario.json";
  FileSystem::atomicWrite(path, json);
  return path.string();
}

TEST(DemoTest, DefaultRunShowsEveryCallbackAndWhatTheBackendStored) {
  TempDir dir;
  const std::string container = (dir.path() / "app").string();
  const DemoRun run = runDemo(dir, {"--container", container, "--formats", "rewarded"});
  ASSERT_EQ(run.exitCode, 0) << run.output;

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
  EXPECT_FALSE(run.contains("interstitial (")) << "only the requested format runs";
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
  const DemoRun again =
      runDemo(dir, {"--container", container, "--formats", "interstitial", "--scenario",
                    writeFastScenario(dir, R"({"default": {"presentError": {"code": 18,
                                      "description": "Ad has already been used."}}})")});
  EXPECT_EQ(again.exitCode, 0) << again.output;
  EXPECT_TRUE(again.contains("(reused)"));
  expectInOrder(again, {"onFailedToShow", "interstitial: ok"});
}

TEST(DemoTest, CrashInsideAHostCallbackIsReportedByTheNextRunOnly) {
  TempDir dir;
  const std::string container = (dir.path() / "app").string();
  const std::string scenario =
      writeFastScenario(dir, R"({"default": {"dismissAfterMs": 0, "click": false}})");

  // 1. A first launch has no cached sdkConfig, so it relaunches once with markers on and
  //    then aborts inside the impression callback, leaving the callback's marker behind.
  const DemoRun crash = runDemo(dir, {"--container", container, "--scenario", scenario, "--formats",
                                      "interstitial", "--crash-at", "onAdImpression"});
  EXPECT_EQ(crash.signal, SIGABRT) << crash.output;
  expectInOrder(crash, {"relaunching once", "initialized\n", "onAdImpression",
                        "crashing inside onAdImpression"});

  // 2. The next run reports that crash once (the flag is gone once reported: CrashMarkersTest),
  //    and runs normally, round after round.
  const DemoRun next = runDemo(dir, {"--container", container, "--scenario", scenario, "--formats",
                                     "interstitial,appOpen", "--repeat", "2"});
  ASSERT_EQ(next.exitCode, 0) << next.output;
  EXPECT_EQ(
      next.count("marker_checkpoint  checkpoint ad_callback  metadata "
                 R"({"phase":"onAdImpression","unitId":"demo-interstitial","network":"AdMob"})"),
      1u)
      << next.output;
  expectInOrder(next, {"round 1 of 2", "interstitial: ok", "appOpen: ok", "round 2 of 2",
                       "interstitial: ok", "appOpen: ok",
                       "the backend stored 13 events: marker_checkpoint 1, ad_request 4, "
                       "ad_response 4, ad_impression 4\n"});
  EXPECT_EQ(next.count("interstitial: ok"), 2u);
  EXPECT_FALSE(next.contains("relaunching")) << "markers are on from the cached sdkConfig";
}

TEST(DemoTest, ExitCodeFollowsTheScenarioAndTheCommandLine) {
  TempDir dir;
  const std::string container = (dir.path() / "app").string();

  // 1. A scripted no-fill is the expected outcome, for the full-screen path and the
  //    template's: exit 0, the error printed, nothing shown, no SDK lines at level off.
  const std::string noFill = writeFastScenario(
      dir, R"({"default": {"result": "error", "error": {"domain": "com.google.admob", "code": 1,
               "description": "No fill."}}})");
  for (const std::string format : {"interstitial", "lightPopup"}) {
    const DemoRun empty = runDemo(dir, {"--container", container, "--scenario", noFill, "--formats",
                                        format, "--log-level", "off"});
    EXPECT_EQ(empty.exitCode, 0) << empty.output;
    expectInOrder(empty, {"onAdLoadFail noFill, No fill.", format + ": no ad, as scripted"});
    EXPECT_FALSE(empty.contains("[TILO] ")) << format;
    EXPECT_FALSE(empty.contains("outside-SDK calls")) << format;
    EXPECT_FALSE(empty.contains("onShown")) << format;
  }

  // 2. A unit the backend does not know fails the run with the synchronizer's error, and
  //    its format is not loaded.
  const DemoRun unknownUnit =
      runDemo(dir, {"--container", container, "--formats", "interstitial", "--unit",
                    "interstitial=no-such-unit", "--scenario", noFill});
  EXPECT_EQ(unknownUnit.exitCode, 1) << unknownUnit.output;
  EXPECT_TRUE(unknownUnit.contains("  no-such-unit: ")) << unknownUnit.output;
  EXPECT_FALSE(unknownUnit.contains("interstitial (")) << unknownUnit.output;

  // 3. Usage mistakes, found by the parser or once the options are read: exit 2, before
  //    anything starts.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--frobnicate", "1"},
        {"--api-base-url", "http://example.com", "--container", container}}) {
    const DemoRun bad = runDemo(dir, args);
    EXPECT_EQ(bad.exitCode, 2) << args[0] << "\n" << bad.output;
    EXPECT_FALSE(bad.contains("initialized\n")) << args[0];
  }
}

// With --campaigns the embedded backend is the exchange: its house ads are shown, paid at
// their price (net of the fee) and closed by the player.
TEST(DemoTest, RealAdsFromTheEmbeddedExchange) {
  TempDir dir;
  const DemoRun run =
      runDemo(dir,
              {"--container", (dir.path() / "app").string(), "--campaigns", "sample", "--formats",
               "rewarded,banner", "--dwell-ms", "0", "--log-level", "off"},
              true);
  ASSERT_EQ(run.exitCode, 0) << run.output;
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
TEST(DemoTest, SnapshotsAreTheReadmePicturesAndThePopupClosesOnItsTimer) {
  TempDir dir;
  const std::string container = (dir.path() / "app").string();
  const auto light = dir.path() / "light";
  const auto dark = dir.path() / "dark";
  const DemoRun run = runDemo(dir,
                              {"--container", container, "--dwell-ms", "0", "--log-level", "off",
                               "--snapshots", light.string()},
                              /*skipIdle=*/true);
  ASSERT_EQ(run.exitCode, 0) << run.output;

  // 1. The line banner is snapshotted; the popup is snapshotted while presented and closed
  //    by its own timer 6 s after onShown. (Each format's impression, and click where its
  //    script clicks, the demo checks itself before it says "ok".)
  expectInOrder(run, {"snapshot " + (light / "lineBanner.png").string(), "onShown lightPopup",
                      "snapshot " + (light / "lightPopup.png").string(),
                      "lightPopup closed by its timer 6.0 s after onShown", "lightPopup: ok",
                      "demo finished: every requested format behaved"});
  // ...in virtual time: the run skips most of the popup's 6 s instead of sitting them out
  // (what it spent drawing and loading meanwhile is real time, more on a loaded machine).
  const std::size_t skippedAt = run.find("idle time skipped: ");
  ASSERT_NE(skippedAt, std::string::npos) << run.output;
  EXPECT_GT(std::stod(run.output.substr(skippedAt + 19)), 1.0) << run.output;

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
  const DemoRun night =
      runDemo(dir,
              {"--container", container, "--formats", "interstitial,rewarded,appOpen,lineBanner",
               "--dwell-ms", "0", "--log-level", "off", "--snapshots", dark.string(),
               "--appearance", "dark"},
              true);
  ASSERT_EQ(night.exitCode, 0) << night.output;
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
