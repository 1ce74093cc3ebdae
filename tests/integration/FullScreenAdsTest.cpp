// Full-screen ads end to end: the SDK initialized against the development backend on
// loopback, the scripted ad source behind the mediation API, and the analytics events as
// the backend stored them.
#include <gtest/gtest.h>

#include <filesystem>

#include "Tilo/backend/NetworkClient.h"
#include "ads/FullScreenTestSupport.h"
#include "platform/Application.h"
#include "platform/FileSystem.h"
#include "platform/ui/CGGeometry.h"
#include "support/RecordingPlugin.h"
#include "tilo/Tilo.hpp"

namespace tilo::test {
namespace {

class FullScreenAdsTest : public FullScreenTest {
 protected:
  // Lets the logger's 5-second timer upload, then returns what the backend stored. Waits
  // for the answer too: one left unhandled would outlive the test's environment.
  std::vector<devserver::StoredEvent> storedEvents(std::size_t count) {
    EXPECT_TRUE(sdk.drive(
        [&] {
          return sdk.server()->storedEvents().size() >= count &&
                 NetworkClient::requestsInFlight() == 0;
        },
        60));
    return sdk.server()->storedEvents();
  }
};

// The backend stores the platform's own code and text (what the host gets, mapped:
// TiloAdLoaderTest and NetworksTest).
TEST_F(FullScreenAdsTest, LoadErrorsReachTheBackendUnmapped) {
  auto loader = TiloInterstitialAdLoader::create(TiloAdUnit{"interstitial-unit", std::nullopt});
  script(
      "gad/inter",
      R"({"result":"error","error":{"domain":"com.google.admob","code":3,"description":"Text"}})");
  EXPECT_EQ(loadNow(loader, sdk.env()), nullptr);
  const auto events = storedEvents(2);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].eventType, "ad_response_error");
  EXPECT_EQ(events[1].payload["code"], 3);
  EXPECT_EQ(events[1].payload["message"], "Text");
}

// The plugin gets the revenue net of the backend's fee, sealed with the app key. The app
// key itself is never written anywhere: not in a log line, a file of the container, an
// uploaded event or a plugin event; the event store holds no plaintext either.
TEST_F(FullScreenAdsTest, RevenueReachesThePluginSealedAndTheAppKeyNeverLeavesTheProcess) {
  const std::string appKey = sdk.options().appKey;
  auto plugin = RecordingPlugin::forAppKey(appKey);
  sdk.server()->setFailFirst(1000, 500);  // uploads fail, so the encrypted store is written
  script("gad/inter", R"({"latencies":[0.05],"click":true,)"
                      R"("revenue":{"value":"0.0125","currency":"USD","precision":3}})");
  auto loader = TiloInterstitialAdLoader::create(TiloAdUnit{"interstitial-unit", std::nullopt});
  loader->registerPlugin(plugin);
  ASSERT_TRUE(loadNow(loader, sdk.env()));
  loader->ad()->show();
  ASSERT_TRUE(sdk.drive([&] { return sdk.server()->requestCount() >= 2; }, 10));
  sdk.env().advance(2);  // the failed upload is saved to the store

  ASSERT_EQ(plugin->events.size(), 1u);
  EXPECT_EQ(
      plugin->opened(0),
      platform::parseJson(R"({"adInfo":{"adFormat":"interstitial","adUnitId":"interstitial-unit",)"
                          R"("latency":0.05},"revenueInfo":{"value":"0.010625",)"
                          R"("currencyCode":"USD","precisionType":3}})"));

  std::vector<std::string> texts = logs.lines();
  texts.push_back(plugin->events[0]);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(sdk.containerDir())) {
    if (!entry.is_regular_file()) continue;
    auto bytes = platform::FileSystem::readFile(entry.path());
    ASSERT_TRUE(bytes);
    if (entry.path().extension() == ".plist") {
      for (const char* plaintext : {"interstitial-unit", "adImpression", "payloadJsonString"}) {
        EXPECT_EQ(bytes->find(plaintext), std::string::npos)
            << entry.path() << " holds plaintext " << plaintext;
      }
      EXPECT_NE(bytes->find("tilo_saved_ad_events"), std::string::npos) << "store was written";
    }
    texts.push_back(*bytes);
  }
  sdk.server()->setFailFirst(0, 500);
  ASSERT_FALSE(storedEvents(1).empty());
  texts.push_back(sdk.server()->storedEventsJson());
  for (const auto& text : texts) EXPECT_EQ(text.find(appKey), std::string::npos) << text;
}

// What a C host of an engine sees: nothing taps for it, so it finds the parts in the
// window's layout dump, as a player's finger would find them on screen.
struct CHost {
  std::vector<std::string> calls, urls;
  std::string paid;
};

// The centre of a shown part, as a host finds it; (-1, -1) when none is shown.
platform::CGPoint centreOf(tilo_window* window, const std::string& id) {
  tilo_rect f{};
  if (tilo_window_element_frame(window, id.c_str(), &f) != TILO_STATUS_OK) return {-1, -1};
  return {f.x + f.width / 2, f.y + f.height / 2};
}

TEST_F(FullScreenAdsTest, ThroughTheCApiTheWindowDrawsTheAdAndClicksLeaveThroughTheHost) {
  tilo_window* window = tilo_window_create(390, 844, 1);
  ASSERT_TRUE(window);
  ASSERT_EQ(tilo_window_set_safe_area_insets(window, 47, 0, 34, 0), TILO_STATUS_OK);
  auto render = [&] {
    std::vector<std::uint8_t> rgba(390 * 844 * 4);
    EXPECT_EQ(tilo_window_render_rgba(window, rgba.data(), 390 * 4), TILO_STATUS_OK);
    return rgba;
  };
  const auto empty = render();
  CHost host;
  auto ad = std::move(tilo::InterstitialAd::create("interstitial-unit").value());
  tilo::InterstitialAd::Delegate delegate;
  delegate.didLoad = [&](const auto&) { host.calls.push_back("load"); };
  delegate.didShow = [&](const auto&) { host.calls.push_back("show"); };
  delegate.didClick = [&](const auto&) { host.calls.push_back("click"); };
  delegate.didRecordImpression = [&](const auto&) { host.calls.push_back("impression"); };
  delegate.didDismiss = [&](const auto&) { host.calls.push_back("dismiss"); };
  delegate.didPay = [&](const auto&, const tilo::Revenue& revenue) {
    host.paid = revenue.value;
    host.calls.push_back("pay");
  };
  ad.setDelegate(delegate);
  auto loadAndShow = [&] {
    ASSERT_EQ(ad.load(), TILO_STATUS_OK);
    sdk.env().runUntilIdle();
    ASSERT_EQ(tilo_interstitial_ad_show_from(ad.handle(), tilo_window_root_view_controller(window)),
              TILO_STATUS_OK);
    sdk.env().runUntilIdle();
  };

  // 1. Without a scenario the built-in ad fills, pays (net of the 0.15 fee) and stays on
  //    screen, however long, until a tap on its close button where the header puts it.
  mediation::AdSource::shared().useBuiltInTestAds();
  loadAndShow();
  sdk.env().advance(600);
  // The documented order: the revenue follows the impression it pays for.
  EXPECT_EQ(host.calls, (std::vector<std::string>{"load", "show", "impression", "pay"}));
  EXPECT_EQ(host.paid, "0.010625");
  EXPECT_NE(render(), empty);
  EXPECT_EQ(centreOf(window, "interstitial.close"), (platform::CGPoint{390 - 34, 47 + 22}));
  EXPECT_EQ(tilo_window_tap(window, 390 - 34, 47 + 22), 1);
  sdk.env().runUntilIdle();
  EXPECT_EQ(host.calls.back(), "dismiss");
  EXPECT_EQ(render(), empty);

  // 2. An ad that stays until closed is drawn into the window's pixels.
  // A CR LF in the URL would forge a log line: percent-encoded wherever it goes, as is DEL.
  script("gad/inter", R"({"dismissAfterMs":null,"clickUrl":"https://example.com/a\r\nI\u007f"})");
  const std::string url = "https://example.com/a%0D%0AI%7F";
  host.calls.clear();
  loadAndShow();
  EXPECT_NE(render(), empty);
  const tilo_open_url_callback recordUrl = [](void* c, const char* url) {
    static_cast<CHost*>(c)->urls.push_back(url);
    static_cast<CHost*>(c)->calls.push_back("url");
  };
  ASSERT_EQ(tilo_set_open_url_callback(recordUrl, &host), TILO_STATUS_OK);
  const auto cta = centreOf(window, "interstitial.cta");
  host.calls.clear();
  EXPECT_EQ(tilo_window_tap(window, cta.x, cta.y), 1);
  EXPECT_TRUE(host.urls.empty()) << "the URL comes on the main loop, not inside the tap";
  sdk.env().runUntilIdle();
  EXPECT_EQ(host.urls, std::vector<std::string>{url});
  EXPECT_EQ(host.calls, (std::vector<std::string>{"click", "url"})) << "the click comes first";

  // 3. Without a callback the URL is only logged, at debug level; one cleared while a
  //    click is under way (its context perhaps freed) is not called either.
  tilo_window_tap(window, cta.x, cta.y);
  ASSERT_EQ(tilo_set_open_url_callback(nullptr, nullptr), TILO_STATUS_OK);
  sdk.env().runUntilIdle();
  EXPECT_EQ(host.urls.size(), 1u);
  EXPECT_EQ(logs.count("DEBUG Open URL (no open-URL callback set): " + url), 1u);
  //    The same when the click already handed its URL over and only the call to the host
  //    waits for the main loop.
  ASSERT_EQ(tilo_set_open_url_callback(recordUrl, &host), TILO_STATUS_OK);
  EXPECT_TRUE(tilo::platform::Application::shared().openURL("https://example.com/b"));
  ASSERT_EQ(tilo_set_open_url_callback(nullptr, nullptr), TILO_STATUS_OK);
  sdk.env().runUntilIdle();
  EXPECT_EQ(host.urls.size(), 1u);

  // 4. The C++ API owns its function: a replaced one is released (that the one installed is
  //    called with the URL: RealAdsTest).
  auto sentinel = std::make_shared<int>(0);
  std::weak_ptr<int> first = sentinel;
  ASSERT_EQ(tilo::Ads::setOpenUrlCallback([sentinel](const char*) { ++*sentinel; }),
            TILO_STATUS_OK);
  sentinel.reset();
  EXPECT_FALSE(first.expired());
  ASSERT_EQ(tilo::Ads::setOpenUrlCallback([](const char*) {}), TILO_STATUS_OK);
  EXPECT_TRUE(first.expired());
  ASSERT_EQ(tilo::Ads::setOpenUrlCallback(nullptr), TILO_STATUS_OK);

  // 5. The close button dismisses; the window is as before.
  const auto close = centreOf(window, "interstitial.close");
  EXPECT_EQ(tilo_window_tap(window, close.x, close.y), 1);
  sdk.env().runUntilIdle();
  EXPECT_EQ(host.calls, (std::vector<std::string>{"click", "url", "click", "dismiss"}));
  EXPECT_EQ(render(), empty);
  ad.reset();
  tilo_window_destroy(window);
}

}  // namespace
}  // namespace tilo::test
