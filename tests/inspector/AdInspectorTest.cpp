// The inspector as a host and a player use it, through the C ABI: opened over a window,
// tabs tapped, a unit's test ad loaded and shown over it, scrolled, closed by its button
// (the window then draws as before it opened), and refused or harmless on bad calls.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "Tilo/inspector/InspectorSnapshot.h"
#include "Tilo/telemetry/DiagnosticsRecorder.h"
#include "TiloObjCBridge/HandleTable.h"
#include "TiloObjCBridge/TiloObjCWindow.h"
#include "ads/FullScreenTestSupport.h"
#include "platform/ui/UILabel.h"
#include "tilo/tilo.h"

namespace tilo::test {
namespace {

class AdInspectorTest : public FullScreenTest {
 protected:
  void SetUp() override {
    FullScreenTest::SetUp();
    // Shown ads stay until their close button is tapped, as a player sees them.
    mediation::AdSource::shared().useBuiltInTestAds();
    window = tilo_window_create(390, 844, 1);
    ASSERT_TRUE(window);
    ASSERT_EQ(tilo_window_set_safe_area_insets(window, 47, 0, 34, 0), TILO_STATUS_OK);
    ASSERT_EQ(tilo_ad_inspector_set_close_callback(
                  [](void* closes, tilo_window* closed) {
                    static_cast<std::vector<tilo_window*>*>(closes)->push_back(closed);
                  },
                  &closes),
              TILO_STATUS_OK);
  }
  void TearDown() override {
    EXPECT_EQ(tilo_ad_inspector_set_close_callback(nullptr, nullptr), TILO_STATUS_OK);
    tilo_window_destroy(window);
    sdk.env().runUntilIdle();
    FullScreenTest::TearDown();
  }

  std::shared_ptr<platform::UIWindow> platformWindow() {
    auto found = bridge::HandleTable::shared().find(window, bridge::HandleType::window);
    return static_cast<bridge::TiloObjCWindow&>(*found.object).window();
  }
  // The first view with this identifier, depth first.
  std::shared_ptr<platform::UIView> find(const std::string& id) {
    platformWindow()->layoutIfNeeded();
    std::function<std::shared_ptr<platform::UIView>(const std::shared_ptr<platform::UIView>&)>
        search = [&](const auto& view) -> std::shared_ptr<platform::UIView> {
      if (view->accessibilityIdentifier() == id) return view;
      for (const auto& child : view->subviews()) {
        if (auto found = search(child)) return found;
      }
      return nullptr;
    };
    return search(platformWindow());
  }
  int tap(const std::string& id) {
    auto view = find(id);
    if (!view) return -100;
    const auto frame = view->convertRect(view->bounds(), nullptr);
    return tilo_window_tap(window, frame.midX(), frame.midY());
  }
  // Every label's text on screen inside the inspector, in tree order.
  std::vector<std::string> texts() {
    std::vector<std::string> out;
    std::function<void(const platform::UIView&)> walk = [&](const platform::UIView& view) {
      if (auto* label = dynamic_cast<const platform::UILabel*>(&view)) out.push_back(label->text());
      for (const auto& child : view.subviews()) walk(*child);
    };
    if (auto inspector = find("inspector")) walk(*inspector);
    return out;
  }
  bool shows(const std::string& text) { return std::ranges::count(texts(), text) > 0; }
  std::vector<std::uint8_t> render() {
    std::vector<std::uint8_t> rgba(390 * 844 * 4);
    EXPECT_EQ(tilo_window_render_rgba(window, rgba.data(), 390 * 4), TILO_STATUS_OK);
    return rgba;
  }

  tilo_window* window = nullptr;
  std::vector<tilo_window*> closes;
};

TEST_F(AdInspectorTest, OpensShowsTheSdkTestsAUnitScrollsAndClosesToTheSameWindow) {
  const auto before = render();

  // 1. Open, again (harmless), on the SDK page of an initialized SDK.
  ASSERT_EQ(tilo_ad_inspector_open(window), TILO_STATUS_OK);
  ASSERT_EQ(tilo_ad_inspector_open(window), TILO_STATUS_OK);
  EXPECT_NE(render(), before);
  EXPECT_TRUE(shows("Initialized"));
  EXPECT_TRUE(shows(sdk.baseUrl()));
  EXPECT_FALSE(shows(sdk.options().appKey)) << "the app key shows masked only";
  EXPECT_TRUE(shows(maskSecret(sdk.options().appKey)));
  const auto demandTab = find("inspector.tab.demand");
  ASSERT_TRUE(demandTab);
  EXPECT_TRUE(demandTab->isHidden()) << "no exchange configured, no Demand page";

  // 2. The ad units page lists the backend's units; a tap on one's test row loads it and
  //    shows it above the inspector, and its load is recorded as filled.
  ASSERT_EQ(tap("inspector.tab.units"), 1);
  EXPECT_TRUE(shows("interstitial-unit"));
  EXPECT_TRUE(shows("gad/inter"));
  ASSERT_EQ(tap("inspector.test.interstitial-unit"), 1);
  sdk.env().runUntilIdle();
  sdk.env().advance(platform::UIViewController::transitionDuration);
  EXPECT_TRUE(platformWindow()->rootViewController()->presentedViewController());
  EXPECT_TRUE(shows("Shown"));
  EXPECT_TRUE(std::ranges::any_of(texts(),
                                  [](const auto& text) { return text.starts_with("Filled in "); }));
  // An ad on screen takes the taps; the inspector stays open under it.
  ASSERT_EQ(tap("interstitial.close"), 1);
  sdk.env().runUntilIdle();
  sdk.env().advance(platform::UIViewController::transitionDuration);
  EXPECT_FALSE(platformWindow()->rootViewController()->presentedViewController());
  sdk.env().advance(inspector::AdInspector::kRefreshInterval);
  EXPECT_TRUE(shows("Dismissed"));

  // 3. The page scrolls down and back, not beyond its ends.
  EXPECT_EQ(tilo_window_scroll(window, 195, 400, 0, -50), 0) << "already at the top";
  EXPECT_EQ(tilo_window_scroll(window, 195, 400, 0, 10), 1);
  EXPECT_EQ(tilo_window_scroll(window, 195, 400, 0, 1e6), 1);
  EXPECT_EQ(tilo_window_scroll(window, 195, 400, 0, 10), 0) << "already at the bottom";
  EXPECT_EQ(tilo_window_scroll(window, 195, 400, 0, NAN), TILO_STATUS_INVALID_ARGUMENT);

  // 4. Its close button closes it; the host hears it once, after the tap, and the window
  //    draws exactly as before it opened.
  ASSERT_EQ(tap("inspector.close"), 1);
  EXPECT_TRUE(closes.empty()) << "reported on the main loop, not inside the tap";
  sdk.env().runUntilIdle();
  EXPECT_EQ(closes, std::vector<tilo_window*>{window});
  EXPECT_EQ(render(), before);
  EXPECT_EQ(tilo_ad_inspector_close(window), TILO_STATUS_OK);
  EXPECT_EQ(tilo_window_scroll(window, 195, 400, 0, 80), 0);
  sdk.env().runUntilIdle();
  EXPECT_EQ(closes.size(), 1u);
}

TEST_F(AdInspectorTest, RefusesOverAnAdAndOnDestroyedWindowsAndClosesWithItsWindow) {
  // 1. Over an ad being shown: refused by name, nothing drawn over it.
  auto* ad = tilo_interstitial_ad_create("interstitial-unit");
  ASSERT_EQ(tilo_interstitial_ad_load(ad), TILO_STATUS_OK);
  sdk.env().runUntilIdle();
  ASSERT_EQ(tilo_interstitial_ad_show_from(ad, tilo_window_root_view_controller(window)),
            TILO_STATUS_OK);
  sdk.env().runUntilIdle();
  const auto withAd = render();
  EXPECT_EQ(tilo_ad_inspector_open(window), TILO_STATUS_AD_SHOWING);
  EXPECT_EQ(render(), withAd);
  EXPECT_FALSE(find("inspector"));
  tilo_interstitial_ad_destroy(ad);

  // 2. A destroyed window or no window: the handle's status, nothing else.
  tilo_window* other = tilo_window_create(100, 100, 1);
  ASSERT_EQ(tilo_ad_inspector_open(other), TILO_STATUS_OK);
  ASSERT_EQ(tilo_window_destroy(other), TILO_STATUS_OK);
  sdk.env().runUntilIdle();
  EXPECT_EQ(closes, std::vector<tilo_window*>{other}) << "closing with its window is reported";
  EXPECT_EQ(tilo_ad_inspector_open(other), TILO_STATUS_INVALID_HANDLE);
  EXPECT_EQ(tilo_ad_inspector_close(other), TILO_STATUS_INVALID_HANDLE);
  EXPECT_EQ(tilo_ad_inspector_open(nullptr), TILO_STATUS_INVALID_HANDLE);
  EXPECT_EQ(tilo_window_scroll(other, 1, 1, 0, 1), TILO_STATUS_INVALID_HANDLE);
}

// Before initialization the inspector opens and says so, without starting anything.
TEST(AdInspectorBeforeStart, ShowsTheStateWithoutBuildingTheSdk) {
  SdkFixture sdk;
  EXPECT_EQ(inspector::captureInspectorSnapshot({}).state, inspector::SdkState::notStarted);
  EXPECT_FALSE(TiloAds::isSharedBuilt());
  TiloAds::shared();
  const auto built = inspector::captureInspectorSnapshot({});
  EXPECT_EQ(built.state, inspector::SdkState::notInitialized);
  EXPECT_TRUE(built.units.empty());
  EXPECT_FALSE(built.startup.started);
}

}  // namespace
}  // namespace tilo::test
