// Real ads end to end, through the C++ API a host uses: the devserver on loopback is both
// the backend and an OpenRTB exchange of the sample house campaigns, and every format is
// asked for, drawn, paid for and noticed as the exchange sees it.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "Tilo/telemetry/DiagnosticsRecorder.h"
#include "TiloObjCBridge/HandleTable.h"
#include "TiloObjCBridge/TiloObjCWindow.h"
#include "platform/FileSystem.h"
#include "platform/Json.h"
#include "support/GoldenImage.h"
#include "support/SdkFixture.h"
#include "support/TempDir.h"
#include "tilo/Tilo.hpp"
#include "tools/devserver/Exchange.h"
#include "tools/devserver/SampleCampaigns.h"

namespace tilo::test {
namespace {

using platform::Json;

SdkFixtureOptions houseExchange() {
  SdkFixtureOptions options;
  options.appInfoJson = SdkFixture::appInfoJson(
      {"inter:interstitial", "reward:rewarded", "open:appOpen", "banner:banner", "mrec:mrec",
       "native:native", "line:native", "popup:lightPopup"});
  TempDir dir;  // the pictures are read into memory as the campaigns load
  for (const auto& file : devserver::SampleCampaigns::files()) {
    platform::FileSystem::atomicWrite(dir.path() / file.name, file.content);
  }
  options.campaigns = std::make_shared<const devserver::Campaigns>(
      devserver::Campaigns::load(dir.path() / devserver::SampleCampaigns::kFileName));
  return options;
}

class RealAdsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Ads::setDemandUrl(sdk.baseUrl() + "/openrtb2/auction"), TILO_STATUS_OK);
    ASSERT_EQ(Ads::setIsTaggedForChildDirectedTreatment(true), TILO_STATUS_OK);
    ASSERT_EQ(Ads::setGdprConsentString("CPXxRfAPXxRfAAfKABENB-CgAAAAAAAAAAYgAAAAAAAA"),
              TILO_STATUS_OK);
    ASSERT_EQ(Ads::setCcpaString("1YNN"), TILO_STATUS_OK);
    ASSERT_EQ(Ads::setTrackingAuthorization(TILO_TRACKING_AUTHORIZED), TILO_STATUS_OK);
    ASSERT_EQ(Ads::setOpenUrlCallback([this](const char* url) { opened.push_back(url); }),
              TILO_STATUS_OK);
    bool done = false;
    ASSERT_EQ(Ads::initialize([&](std::optional<Error> e) { done = !e; }), TILO_STATUS_OK);
    ASSERT_TRUE(sdk.drive([&] { return done; }));
    window = std::move(Window::create(320, 480, 1).value());
  }
  void TearDown() override {
    window.reset();
    (void)Ads::setOpenUrlCallback(nullptr);
    (void)Ads::setTrackingAuthorization(TILO_TRACKING_NOT_DETERMINED);
  }

  // Taps the middle of the shown view whose identifier is `id`, as a host would; false if none.
  bool tap(const std::string& id) {
    tilo_rect f{};
    return tilo_window_element_frame(window.handle(), id.c_str(), &f) == TILO_STATUS_OK &&
           window.tap(f.x + f.width / 2, f.y + f.height / 2) == 1;
  }
  // Loads `ad` until it is ready; returns the id of the auction it asked the exchange for.
  std::string loadReady(InterstitialAd& ad) {
    EXPECT_EQ(ad.load(), TILO_STATUS_OK);
    EXPECT_TRUE(sdk.drive([&] { return ad.isReady() == 1; }));
    return sdk.server()->exchange()->requests().back()["id"];
  }
  // The notices the exchange received for auction `id`, as "kind price[ reason]".
  std::vector<std::string> noticesOf(const std::string& id) {
    sdk.drive([] { return SdkFixture::requestsInFlight() == 0; });
    std::vector<std::string> out;
    for (const auto& notice : sdk.server()->exchange()->notices()) {
      if (notice.auctionId != id) continue;
      out.push_back(notice.kind + " " + notice.price +
                    (notice.reason.empty() ? "" : " " + notice.reason));
    }
    return out;
  }

  SdkFixture sdk{houseExchange()};
  Window window;
  std::vector<std::string> calls, opened;
};

// What every kind records: the host's callbacks in order, and the revenue it was paid.
template <class Delegate>
void record(Delegate& delegate, std::vector<std::string>& calls) {
  delegate.didRecordImpression = [&](const auto&) { calls.push_back("impression"); };
  delegate.didClick = [&](const auto&) { calls.push_back("click"); };
  delegate.didPay = [&](const std::optional<AdInfo>& info, const Revenue& revenue) {
    calls.push_back("pay " + revenue.value + " " + revenue.currencyCode + " " +
                    std::to_string(revenue.precision) + " " +
                    (info ? info->adNetwork.value_or("") : ""));
  };
}

TEST_F(RealAdsTest, EveryFormatIsAskedForDrawnPaidAndNoticedOnce) {
  // Price ÷ 1000, less the 0.15 fee, "precise"; the seat names the network.
  const std::string sky = "pay 0.0034 USD 3 Tilo House", puzzle = "pay 0.00255 USD 3 Tilo House";
  struct Case {
    const char* format;
    const char* tagid;
    int instl, rwdd;
    bool imageRequired;
    std::string paid, price;
    const char* tapToClick;  // the part a player taps; null: the native view's title
    std::function<bool(RealAdsTest&)> show;  // loads and shows; false on a refusal
  };
  std::optional<InterstitialAd> inter;
  std::optional<RewardedAd> reward;
  std::optional<AppOpenAd> open;
  std::optional<BannerView> banner;
  std::optional<NativeView> native;
  std::optional<LineBannerView> line;
  std::optional<LightPopupAdLoader> popupLoader;
  LightPopupAd popup;
  auto fullScreen = [&](auto& slot, auto made) {
    slot.emplace(std::move(made).value());
    typename std::decay_t<decltype(*slot)>::Delegate delegate;
    record(delegate, calls);
    delegate.didDismiss = [&](const auto&) { calls.push_back("dismiss"); };
    slot->setDelegate(delegate);
    if (slot->load() != TILO_STATUS_OK || !sdk.drive([&] { return slot->isReady() == 1; }))
      return false;
    if constexpr (std::is_same_v<std::decay_t<decltype(*slot)>, AppOpenAd>) {
      return slot->show() == TILO_STATUS_OK;
    } else {
      return slot->showFrom(&window) == TILO_STATUS_OK;
    }
  };
  auto placed = [&](auto& slot, auto made, tilo_rect frame, auto loadCall) {
    slot.emplace(std::move(made).value());
    typename std::decay_t<decltype(*slot)>::Delegate delegate;
    record(delegate, calls);
    delegate.didLoad = [&](const auto&) { calls.push_back("load"); };
    slot->setDelegate(delegate);
    return addView(window, *slot, frame) == TILO_STATUS_OK && loadCall(*slot) == TILO_STATUS_OK;
  };
  const Case cases[] = {
      {"interstitial", "gad/inter", 1, 0, true, sky, "4", "interstitial.cta",
       [&](auto&) { return fullScreen(inter, InterstitialAd::create("inter")); }},
      {"rewarded", "gad/reward", 1, 1, true, sky, "4", "rewarded.cta",
       [&](auto&) { return fullScreen(reward, RewardedAd::create("reward")); }},
      {"appOpen", "gad/open", 1, 0, true, puzzle, "3", "appOpen.cta",
       [&](auto&) { return fullScreen(open, AppOpenAd::create("open")); }},
      {"banner", "gad/banner", 0, 0, false, puzzle, "3", "nativeBanner",
       [&](auto&) {
         return placed(banner, BannerView::create("banner", BannerSize::banner), {0, 40, 320, 50},
                       [](auto& v) { return v.loadAd(); });
       }},
      {"mrec", "gad/mrec", 0, 0, true, puzzle, "3", "nativeBanner",
       [&](auto&) {
         return placed(banner, BannerView::create("mrec", BannerSize::mrec), {10, 40, 300, 250},
                       [](auto& v) { return v.loadAd(); });
       }},
      {"native", "gad/native", 0, 0, true, puzzle, "3", nullptr,
       [&](auto&) {
         return placed(native, NativeView::create("native"), {0, 40, 320, 300}, [](auto& v) {
           const NativeAssetLayout layout{tilo_rect{8, 176, 48, 48},
                                          tilo_rect{64, 176, 248, 22},
                                          tilo_rect{64, 200, 248, 18},
                                          tilo_rect{8, 230, 304, 36},
                                          tilo_rect{0, 0, 320, 168},
                                          tilo_rect{8, 268, 304, 28},
                                          std::nullopt};
           return v.bindNativeViews(layout) == TILO_STATUS_OK ? v.loadNativeAd()
                                                              : TILO_STATUS_INVALID_ARGUMENT;
         });
       }},
      {"lineBanner", "gad/line", 0, 0, true, puzzle, "3", "lineBanner",
       [&](auto&) {
         return placed(line, LineBannerView::create("line"), {0, 40, 320, 60},
                       [](auto& v) { return v.loadAd(); });
       }},
      // The popup's info names no network, whatever the source.
      {"lightPopup", "gad/popup", 0, 0, true, "pay 0.00255 USD 3 ", "3", "lightPopup.cta",
       [&](auto&) {
         popupLoader.emplace(std::move(LightPopupAdLoader::create("popup").value()));
         LightPopupAdLoader::Delegate delegate;
         record(delegate, calls);
         delegate.didLoad = [&](LightPopupAd loaded, const auto&) {
           popup = std::move(loaded);
           (void)popup.showFrom(window);
         };
         popupLoader->setDelegate(delegate);
         return popupLoader->loadAd() == TILO_STATUS_OK;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    calls.clear();
    opened.clear();
    // A fresh window: closing the last one ends what it showed.
    window = std::move(Window::create(320, 480, 1).value());
    ASSERT_TRUE(c.show(*this));
    // Shown: the impression, then the paid event; a rewarded ad plays 5 s first.
    ASSERT_TRUE(sdk.drive([&] { return std::count(calls.begin(), calls.end(), c.paid) == 1; }, 10))
        << ::testing::PrintToString(calls);
    sdk.drive([] { return false; }, 6);
    auto shown = bridge::HandleTable::shared().find(window.handle(), bridge::HandleType::window);
    expectGoldenImage(
        *static_cast<bridge::TiloObjCWindow&>(*shown.object).window(),
        TILO_SOURCE_DIR "/tests/integration/golden/real-" + std::string(c.format) + ".png");
    ASSERT_TRUE(c.tapToClick ? tap(c.tapToClick) : window.tap(160, 190) == 1);
    sdk.drive([] { return SdkFixture::requestsInFlight() == 0; });
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "impression"), 1);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "click"), 1);
    EXPECT_EQ(opened, (std::vector<std::string>{std::string("https://example.com/tilo/house/") +
                                                (c.price == "4" ? "sky-harbor" : "puzzle-quest")}));

    // The request, field by field.
    const Json request = sdk.server()->exchange()->requests().back();
    const Json& imp = request["imp"][0];
    // Plain http to loopback: not secure.
    EXPECT_EQ(
        (std::tuple{imp["tagid"], imp["instl"], imp["rwdd"], imp["secure"], imp["native"]["ver"]}),
        (std::tuple{Json(c.tagid), Json(c.instl), Json(c.rwdd), Json(0), Json("1.2")}));
    const Json asked = Json::parse(imp["native"]["request"].get<std::string>());
    EXPECT_EQ(asked["eventtrackers"], Json::parse(R"([{"event":1,"methods":[1]}])"));
    EXPECT_EQ(asked["assets"][1]["img"]["type"], 3);
    EXPECT_EQ(asked["assets"][1]["required"], c.imageRequired ? 1 : 0);
    if (std::string(c.format) == "banner") {
      EXPECT_EQ((std::tuple{asked["assets"][1]["img"]["w"], asked["assets"][1]["img"]["h"]}),
                (std::tuple{Json(320), Json(50)}));
    }
    // The app's store page and the host's choices, as the SDK handed them down.
    EXPECT_EQ((std::tuple{request["app"], request["regs"], request["user"]["consent"]}),
              (std::tuple{Json::parse(R"({"bundle":"com.tilo.tests",)"
                                      R"("storeurl":"https://apps.example.com/app/1234567890"})"),
                          Json::parse(R"({"coppa":1,"gdpr":1,"us_privacy":"1YNN"})"),
                          Json("CPXxRfAPXxRfAAfKABENB-CgAAAAAAAAAAYgAAAAAAAA")}));

    // Each notice once, with the clearing price in place of ${AUCTION_PRICE} (they go out
    // side by side: in any order). A request id used twice would bring the notices of its
    // earlier auction along.
    auto notices = noticesOf(request["id"]);
    std::sort(notices.begin(), notices.end());
    EXPECT_EQ(notices, (std::vector<std::string>{"bill " + c.price, "click " + c.price,
                                                 "imp " + c.price, "win " + c.price}));
  }
  const Json totals = sdk.server()->exchange()->campaignsJson();
  EXPECT_EQ(totals["campaigns"][0]["impressions"], 2);  // Sky Harbor: interstitial, rewarded
  EXPECT_DOUBLE_EQ(totals["campaigns"][1]["spend"].get<double>(), 6 * 0.003);
}

TEST_F(RealAdsTest, AFullScreenAdUnshownPastItsExpiryIsNotReadyAndItsLossIsNoticed) {
  auto ad = std::move(InterstitialAd::create("inter").value());
  std::optional<Error> showError;
  InterstitialAd::Delegate delegate;
  delegate.didFailToShow = [&](const auto&, const Error& error) { showError = error; };
  ad.setDelegate(delegate);
  const std::string id = loadReady(ad);

  // At the bid's exp (3,600 s) and not a second before.
  sdk.drive([] { return false; }, 3599);
  EXPECT_EQ(ad.isReady(), 1);
  EXPECT_EQ(noticesOf(id), std::vector<std::string>{"win 4"});
  sdk.drive([] { return false; }, 1);
  EXPECT_EQ(ad.isReady(), 0);
  EXPECT_EQ(noticesOf(id), (std::vector<std::string>{"win 4", "loss 4 2"}));
  ASSERT_EQ(ad.showFrom(&window), TILO_STATUS_OK);
  ASSERT_TRUE(sdk.drive([&] { return showError.has_value(); }));
  EXPECT_EQ(showError->code, TILO_ERROR_FULLSCREEN_AD_NOT_READY);
  EXPECT_EQ(showError->message, "Ad has expired.");

  // Released unshown, a taken bid is lost once too; destroying the expired one adds none.
  auto second = std::move(InterstitialAd::create("inter").value());
  const std::string secondId = loadReady(second);
  second.reset();
  ad.reset();
  EXPECT_EQ(noticesOf(secondId), (std::vector<std::string>{"win 4", "loss 4 2"}));
  EXPECT_EQ(noticesOf(id), (std::vector<std::string>{"win 4", "loss 4 2"}));

  // Shown, a bid is never lost: not when its ad is released, nor when its window closes.
  auto shown = std::move(InterstitialAd::create("inter").value());
  const std::string shownId = loadReady(shown);
  ASSERT_EQ(shown.showFrom(&window), TILO_STATUS_OK);
  sdk.drive([] { return false; }, 2);
  shown.reset();
  window = std::move(Window::create(320, 480, 1).value());
  sdk.drive([] { return false; }, 2);
  auto notices = noticesOf(shownId);
  std::sort(notices.begin(), notices.end());
  EXPECT_EQ(notices, (std::vector<std::string>{"bill 4", "imp 4", "win 4"}));
}

// A unit's test ad from the inspector asks the exchange nothing (it is never a paid
// impression): the built-in ad fills instead.
TEST_F(RealAdsTest, TheInspectorsTestAdsNeverAskTheExchange) {
  auto ad = std::move(InterstitialAd::create("inter").value());
  loadReady(ad);
  const auto asked = sdk.server()->exchange()->requests().size();
  ASSERT_EQ(AdInspector::open(window), TILO_STATUS_OK);
  ASSERT_TRUE(tap("inspector.tab.units"));
  ASSERT_TRUE(tap("inspector.test.inter"));
  auto interLoads = [] {
    const auto units = DiagnosticsRecorder::shared().snapshot().units;
    const auto inter = std::find_if(units.begin(), units.end(),
                                    [](const auto& unit) { return unit.adUnitId == "inter"; });
    return inter == units.end() ? decltype(inter->loads){} : inter->loads;
  };
  ASSERT_TRUE(sdk.drive([&] { return interLoads().size() == 2; }));
  EXPECT_EQ(sdk.server()->exchange()->requests().size(), asked) << "a test ad asked the exchange";
  const auto loads = interLoads();
  EXPECT_EQ(loads[0].network, "Tilo House");
  EXPECT_EQ(loads[1].outcome, LoadOutcome::filled);
  EXPECT_NE(loads[1].network, "Tilo House") << "the test ad is the built-in one";
}

}  // namespace
}  // namespace tilo::test
