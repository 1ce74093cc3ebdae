// The header-only C++ API over the C ABI: value conversions, factories that refuse bad
// arguments with a status, objects that move with their callbacks, popups and host-drawn
// native ads owned by the host (the native ad read through the C ABI too), and objects
// destroyed from inside their own callbacks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "mediation/AdSource.h"
#include "platform/Json.h"
#include "support/SdkFixture.h"
#include "tilo/Tilo.hpp"

namespace tilo::test {
namespace {

class CppApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mediation::AdSource::shared().reset();
    auto error = mediation::AdSource::shared().loadScenario(platform::parseJson(
        R"({"default":{"latencies":[0.05,0.12],"dismissAfterMs":100,)"
        R"("revenue":{"value":"1234567.891234567","currency":"USD","precision":3},)"
        R"("reward":{"amount":10,"type":"coins"},"native":{"headline":"H"}}})"));
    ASSERT_FALSE(error) << *error;
    bool done = false;
    ASSERT_EQ(tilo::Ads::initialize([&](std::optional<Error> e) { done = !e; }), TILO_STATUS_OK);
    ASSERT_TRUE(sdk.drive([&] { return done; }));
  }
  void TearDown() override { mediation::AdSource::shared().reset(); }

  SdkFixture sdk{SdkFixtureOptions::hostApiUnits()};
};

TEST_F(CppApiTest, RewardedAdReportsConvertedValuesAndMovesWithItsCallbacks) {
  // 1. Bad arguments are a refused result with the C ABI's status (an empty object, as a
  //    moved-from one below, answers every call with a status instead of crashing).
  auto bad = RewardedAd::create("");
  ASSERT_FALSE(bad);
  EXPECT_EQ(bad.status(), TILO_STATUS_EMPTY_STRING);
  EXPECT_EQ(bad.message(), "TILO_STATUS_EMPTY_STRING");

  // 2. Made, given its delegate, then moved twice (constructed, then assigned over a live
  //    ad, which is destroyed): the callbacks follow, the moved-from objects are empty.
  auto window = Window::create(390, 844, 3);
  ASSERT_TRUE(window) << window.message();
  auto made = RewardedAd::create("reward");
  ASSERT_TRUE(made) << made.message();
  std::vector<std::string> calls;
  RewardedAd::Delegate delegate;
  delegate.didLoad = [&](const std::optional<AdInfo>& info) {
    ASSERT_TRUE(info);
    calls.push_back("load " + info->adUnitId + " " + std::to_string(info->latencyMs.value_or(-1)));
    EXPECT_EQ(info->adFormat, AdFormat::rewarded);
  };
  delegate.didEarnReward = [&](const std::optional<AdInfo>&, const RewardedItem& item) {
    calls.push_back("reward " + std::to_string(item.amount) + " " + item.rewardType);
  };
  delegate.didPay = [&](const std::optional<AdInfo>&, const Revenue& revenue) {
    calls.push_back("pay " + revenue.value + " " + revenue.currencyCode);
  };
  delegate.didDismiss = [&](const std::optional<AdInfo>&) { calls.push_back("dismiss"); };
  made->setDelegate(delegate);
  RewardedAd moved(std::move(made).value());
  RewardedAd ad = std::move(RewardedAd::create("reward").value());
  tilo_rewarded_ad* replaced = ad.handle();
  ad = std::move(moved);
  EXPECT_EQ(tilo_rewarded_ad_load(replaced), TILO_STATUS_INVALID_HANDLE);
  EXPECT_FALSE(moved);
  EXPECT_EQ(moved.load(), TILO_STATUS_INVALID_HANDLE);
  EXPECT_FALSE(ad.adInfo());
  ASSERT_EQ(ad.load(), TILO_STATUS_OK);
  ASSERT_TRUE(sdk.drive([&] { return !calls.empty(); }));
  EXPECT_EQ(ad.isReady(), 1);
  ASSERT_TRUE(ad.adInfo());
  EXPECT_EQ(ad.adInfo()->adNetwork, "AdMob");
  ASSERT_EQ(ad.showFrom(&*window), TILO_STATUS_OK);
  ASSERT_TRUE(sdk.drive([&] { return calls.back() == "dismiss"; }));
  // The revenue keeps all 18 digits of the net value, more than a double holds.
  EXPECT_EQ(calls,
            (std::vector<std::string>{"load reward 170.000000", "pay 1049382.70754938195 USD",
                                      "reward 10 coins", "dismiss"}));

  // 3. Manager values read back.
  EXPECT_EQ(tilo::Ads::setUserId("player-7"), TILO_STATUS_OK);
  EXPECT_EQ(tilo::Ads::userId(), "player-7");
  EXPECT_EQ(tilo::Ads::setHasUserConsent(false), TILO_STATUS_OK);
  EXPECT_EQ(tilo::Ads::hasUserConsent(), false);
  EXPECT_EQ(tilo::Ads::setHasUserConsent(std::nullopt), TILO_STATUS_OK);
  EXPECT_EQ(tilo::Ads::hasUserConsent(), std::nullopt);
}

TEST_F(CppApiTest, AnAdDestroyedInsideItsOwnCallbackHearsNothingMore) {
  auto ad = std::make_unique<InterstitialAd>(std::move(InterstitialAd::create("inter").value()));
  std::vector<std::string> calls;
  InterstitialAd::Delegate delegate;
  delegate.didLoad = [&](const std::optional<AdInfo>&) {
    EXPECT_EQ(ad->showFrom(nullptr), TILO_STATUS_OK);
    calls.push_back("load");
  };
  delegate.didShow = [&](const std::optional<AdInfo>&) {
    calls.push_back("show");
    ad.reset();  // the running callback is a copy
    calls.push_back("after reset");
  };
  delegate.didDismiss = [&](const std::optional<AdInfo>&) { calls.push_back("dismiss"); };
  ad->setDelegate(delegate);
  ASSERT_EQ(ad->load(), TILO_STATUS_OK);
  sdk.drive([] { return false; }, 5);
  EXPECT_EQ(calls, (std::vector<std::string>{"load", "show", "after reset"}));
}

TEST_F(CppApiTest, ObjectsDestroyedOnAnotherThreadEndOnTheMainThreadsNextPump) {
  // An ad whose load is under way and a window are dropped on a worker thread. Both end
  // with the main thread's next pump, before the load could call into what the worker
  // let go (a use after free under ASan), and nothing of them stays behind.
  auto window = std::make_unique<Window>(std::move(Window::create(320, 480, 2).value()));
  auto ad = std::make_unique<InterstitialAd>(std::move(InterstitialAd::create("inter").value()));
  int loads = 0;
  InterstitialAd::Delegate delegate;
  delegate.didLoad = [&](const std::optional<AdInfo>&) { ++loads; };
  ad->setDelegate(delegate);
  ASSERT_EQ(ad->load(), TILO_STATUS_OK);
  tilo_interstitial_ad* adHandle = ad->handle();
  tilo_window* windowHandle = window->handle();
  std::thread([&] {
    ad.reset();
    window.reset();
  }).join();
  EXPECT_EQ(tilo_interstitial_ad_is_ready(adHandle), 0);  // until the main thread's turn
  sdk.drive([] { return false; }, 1);
  EXPECT_EQ(tilo_interstitial_ad_is_ready(adHandle), TILO_STATUS_INVALID_HANDLE);
  EXPECT_EQ(tilo_window_tap(windowHandle, 1, 1), TILO_STATUS_INVALID_HANDLE);
  EXPECT_EQ(loads, 0);
}

TEST_F(CppApiTest, ViewsAndTheLightPopupOwnTheirHandles) {
  auto made = Window::create(390, 844, 3);
  ASSERT_TRUE(made) << made.message();
  Window window = std::move(made).value();
  const auto size = window.pixelSize();  // no structured binding: captured below
  const int width = size.first, height = size.second;
  auto render = [&] {
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4);
    EXPECT_EQ(window.renderRGBA(pixels.data(), static_cast<std::size_t>(width) * 4),
              TILO_STATUS_OK);
    return pixels;
  };
  std::vector<std::string> calls;
  // 1. Views load by themselves only when asked to: placed, without loadAd(), the three
  //    kinds request nothing. A banner placed at the bottom reports its load in C++ types
  //    (moves with the delegate and revenue: the ads above and below).
  auto banner = BannerView::create("banner", BannerSize::banner);
  auto native = NativeView::create("native");
  auto line = LineBannerView::create("native");
  ASSERT_TRUE(banner && native && line);
  ASSERT_EQ(addView(window, *native, tilo_rect{0, 100, 390, 300}), TILO_STATUS_OK);
  ASSERT_EQ(addViewPinned(window, *line, WindowEdge::top, 60), TILO_STATUS_OK);
  BannerView::Delegate bannerDelegate;
  bannerDelegate.didLoad = [&](const std::optional<AdInfo>& info) {
    calls.push_back("banner " + info.value_or(AdInfo{}).adUnitId);
    EXPECT_EQ(info->adFormat, AdFormat::banner);
  };
  banner->setDelegate(bannerDelegate);
  ASSERT_EQ(addViewPinned(window, *banner, WindowEdge::bottom, 50), TILO_STATUS_OK);
  sdk.drive([] { return false; }, 2);
  EXPECT_EQ(mediation::AdSource::shared().loadCount("gad/banner"), 0u);
  EXPECT_EQ(mediation::AdSource::shared().loadCount("gad/native"), 0u);
  ASSERT_EQ(banner->loadAd(), TILO_STATUS_OK);
  sdk.drive([] { return false; }, 2);
  EXPECT_EQ(calls, std::vector<std::string>{"banner banner"});
  const std::vector<std::uint8_t> withoutPopup = render();
  // The window as it was before the popup: a redraw of only what changed may round an
  // antialiased edge one level apart from the full first draw; a popup left behind
  // differs by far more.
  auto asWithoutPopup = [&](const std::vector<std::uint8_t>& pixels) {
    return std::equal(pixels.begin(), pixels.end(), withoutPopup.begin(), withoutPopup.end(),
                      [](std::uint8_t a, std::uint8_t b) { return std::abs(a - b) <= 1; });
  };

  // 2. The popup handed to didLoad is the host's to keep; the kept one shows.
  LightPopupAd kept;
  auto loader = LightPopupAdLoader::create("native");
  ASSERT_TRUE(loader);
  LightPopupAdLoader::Delegate loaderDelegate;
  loaderDelegate.didLoad = [&](LightPopupAd ad, const std::optional<AdInfo>& info) {
    calls.push_back("popup " + std::to_string(static_cast<int>(info->adFormat)));
    kept = std::move(ad);
  };
  loader->setDelegate(loaderDelegate);
  calls.clear();
  ASSERT_EQ(loader->loadAd(), TILO_STATUS_OK);
  ASSERT_TRUE(sdk.drive([&] { return static_cast<bool>(kept); }));
  LightPopupAd::Delegate popupDelegate;
  // On screen: the backdrop, the card beside the media and the close button's reds.
  std::vector<unsigned> drawn;
  popupDelegate.didShow = [&](const std::optional<AdInfo>&) {
    calls.push_back("show");
    const std::vector<std::uint8_t> pixels = render();
    auto rgb = [&](int x, int y) {  // a pixel, at scale 3
      const std::uint8_t* p = &pixels[(static_cast<std::size_t>(y) * width + x) * 4];
      return static_cast<unsigned>(p[0] << 16 | p[1] << 8 | p[2]);
    };
    drawn = {rgb(15, 15), rgb(90, 1266), 0};
    for (int y = 784 * 3; y < 836 * 3; ++y) {
      for (int x = 135 * 3; x < 255 * 3; ++x)
        drawn[2] += rgb(x, y) >> 16 > 200 && rgb(x, y) % 256 < 60;
    }
  };
  popupDelegate.didDismiss = [&](const std::optional<AdInfo>&) { calls.push_back("dismiss"); };
  kept.setDelegate(popupDelegate);
  ASSERT_EQ(kept.setBackgroundColor(0x0000FFFF), TILO_STATUS_OK);
  ASSERT_EQ(kept.setCardViewBackgroundColor(0x00FF00FF), TILO_STATUS_OK);
  ASSERT_EQ(kept.setCloseButtonTextColor(0xFF0000FF), TILO_STATUS_OK);
  ASSERT_EQ(kept.showFrom(window), TILO_STATUS_OK);
  ASSERT_TRUE(sdk.drive([&] { return calls.back() == "dismiss"; }, 10));
  EXPECT_EQ(calls, (std::vector<std::string>{"popup 3", "show", "dismiss"}));
  ASSERT_EQ(drawn.size(), 3u);
  EXPECT_EQ(std::vector(drawn.begin(), drawn.begin() + 2), (std::vector{0x0000FFu, 0x00FF00u}));
  EXPECT_GT(drawn[2], 100u) << "red title and icon";

  // 3. A popup the host does not keep is destroyed with the callback; one shown from
  //    didLoad and not kept closes again, and one on screen closes when the host assigns
  //    over it. None of them calls back.
  std::vector<tilo_light_popup_ad*> dropped;
  loaderDelegate.didLoad = [&](LightPopupAd ad, const std::optional<AdInfo>&) {
    dropped.push_back(ad.handle());
    if (dropped.size() == 1) {
      EXPECT_EQ(ad.showFrom(window), TILO_STATUS_OK);
    } else if (dropped.size() == 2) {
      kept = std::move(ad);
    }
  };
  loader->setDelegate(loaderDelegate);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(loader->loadAd(), TILO_STATUS_OK);
  sdk.drive([] { return false; }, 5);
  ASSERT_EQ(dropped.size(), 3u);
  EXPECT_EQ(tilo_light_popup_ad_destroy(dropped[0]), TILO_STATUS_INVALID_HANDLE);
  EXPECT_EQ(tilo_light_popup_ad_destroy(dropped[2]), TILO_STATUS_INVALID_HANDLE);
  EXPECT_TRUE(asWithoutPopup(render())) << "the popup shown from didLoad stayed on screen";
  kept.setDelegate(popupDelegate);
  calls.clear();
  ASSERT_EQ(kept.showFrom(window), TILO_STATUS_OK);
  sdk.drive([] { return false; }, 1);
  EXPECT_EQ(calls, std::vector<std::string>{"show"});
  EXPECT_FALSE(asWithoutPopup(render()));
  kept = LightPopupAd();
  EXPECT_EQ(kept.close(), TILO_STATUS_INVALID_HANDLE);
  sdk.drive([] { return false; }, 10);
  EXPECT_TRUE(asWithoutPopup(render())) << "the replaced popup stayed on screen";
  EXPECT_EQ(calls, std::vector<std::string>{"show"});
}

// A host that draws a native ad itself owns it: it reads the assets through the C++ API and
// the C ABI beneath, and its impression and click report once each (their events: the
// native view's, whose loader it shares).
TEST_F(CppApiTest, NativeAdDrawnByTheHostIsOwnedByItAndReportsOnce) {
  auto error = mediation::AdSource::shared().loadScenario(platform::parseJson(
      R"({"default":{"network":"Meta","click":true,"revenue":{"value":"0.02","currency":"USD",)"
      R"("precision":3},"native":{"headline":"Tap here","body":"Body","callToAction":"Go",)"
      R"("media":true}}})"));
  ASSERT_FALSE(error) << *error;
  // 1. The loader moves with its callbacks (a C delegate without its required entries is
  //    refused and leaves them be); an ad didLoad does not move out is destroyed.
  auto made = NativeAdLoader::create("native");
  ASSERT_TRUE(made) << made.message();
  std::vector<std::string> calls;
  NativeAd kept;
  tilo_native_ad* dropped = nullptr;
  NativeAdLoader::Delegate delegate;
  delegate.didLoad = [&](NativeAd ad, const std::optional<AdInfo>& info) {
    calls.push_back("load " + info->adUnitId + (info->adNetwork ? " network" : ""));
    if (!dropped) {
      dropped = ad.handle();
    } else {
      kept = std::move(ad);
    }
  };
  delegate.didRecordImpression = [&](const std::optional<AdInfo>& info) {
    calls.push_back("impression " + info->adNetwork.value_or("?"));
  };
  delegate.didClick = [&](const std::optional<AdInfo>&) { calls.push_back("click"); };
  delegate.didPay = [&](const std::optional<AdInfo>&, const Revenue& revenue) {
    calls.push_back("pay " + revenue.value + " " + revenue.currencyCode);
  };
  made->setDelegate(delegate);
  NativeAdLoader loader = std::move(made).value();
  tilo_native_ad_loader_delegate sizeOnly{};
  sizeOnly.size = sizeof sizeOnly;
  EXPECT_EQ(tilo_native_ad_loader_set_delegate(loader.handle(), &sizeOnly, nullptr),
            TILO_STATUS_MISSING_CALLBACK);
  ASSERT_EQ(loader.loadAd(), TILO_STATUS_OK);
  ASSERT_EQ(loader.loadAd(), TILO_STATUS_OK);
  ASSERT_TRUE(sdk.drive([&] { return static_cast<bool>(kept); }));
  EXPECT_EQ(tilo_native_ad_destroy(dropped), TILO_STATUS_INVALID_HANDLE);
  tilo_native_ad* ad = kept.handle();

  // 2. Texts: an absent one is an empty optional, in C an empty string of length -1 (a
  //    short buffer: the C host's user id).
  EXPECT_EQ((std::vector{kept.headline(), kept.body(), kept.callToAction(), kept.advertiser()}),
            (std::vector<std::optional<std::string>>{"Tap here", "Body", "Go", std::nullopt}));
  char text[16] = "unchanged";
  int64_t length = 0;
  ASSERT_EQ(tilo_native_ad_get_advertiser(ad, text, sizeof text, &length), TILO_STATUS_OK);
  EXPECT_EQ(std::pair(std::string(text), length), std::pair(std::string(), int64_t{-1}));

  // 3. Images: the size first, then the pixels in the asked format at the asked stride (in
  //    rows without padding through the C++ API); a missing one is empty. The generated
  //    media runs from green at the top to blue.
  int width = -1, height = -1;
  EXPECT_EQ(tilo_native_ad_get_icon(ad, nullptr, 0, 0, TILO_PIXEL_FORMAT_RGBA, &width, &height),
            TILO_STATUS_OK);
  EXPECT_EQ(std::pair(width, height), std::pair(0, 0));
  auto icon = kept.icon();
  ASSERT_TRUE(icon) << icon.message();
  EXPECT_TRUE(icon->empty());
  EXPECT_EQ(tilo_native_ad_get_media(ad, nullptr, 0, 0, TILO_PIXEL_FORMAT_RGBA, &width, &height),
            TILO_STATUS_BUFFER_TOO_SMALL);
  ASSERT_EQ(std::pair(width, height), std::pair(640, 360));
  const std::size_t stride = 642 * 4;
  std::vector<std::uint8_t> pixels(stride * 360, 7);
  const std::tuple<std::size_t, std::size_t, int, int*, tilo_status> refused[] = {
      {pixels.size() - 1, stride, TILO_PIXEL_FORMAT_RGBA, &height, TILO_STATUS_BUFFER_TOO_SMALL},
      {pixels.size(), 639 * 4, TILO_PIXEL_FORMAT_RGBA, &height, TILO_STATUS_BUFFER_TOO_SMALL},
      {pixels.size(), stride + 2, TILO_PIXEL_FORMAT_RGBA, &height, TILO_STATUS_INVALID_ARGUMENT},
      {pixels.size(), stride, 3, &height, TILO_STATUS_INVALID_ARGUMENT},
      {pixels.size(), stride, TILO_PIXEL_FORMAT_RGBA, nullptr, TILO_STATUS_NULL_ARGUMENT}};
  for (const auto& [size, rowBytes, format, heightOut, expected] : refused) {
    EXPECT_EQ(
        tilo_native_ad_get_media(ad, pixels.data(), size, rowBytes, format, &width, heightOut),
        expected)
        << rowBytes << " " << format;
  }
  EXPECT_TRUE(std::all_of(pixels.begin(), pixels.end(), [](std::uint8_t b) { return b == 7; }));
  ASSERT_EQ(tilo_native_ad_get_media(ad, pixels.data(), pixels.size(), stride,
                                     TILO_PIXEL_FORMAT_BGRA_PREMULTIPLIED, &width, &height),
            TILO_STATUS_OK);
  auto pixel = [&](int x, int y) {
    const std::uint8_t* p = &pixels[static_cast<std::size_t>(y) * stride + x * 4];
    return std::vector<int>{p[0], p[1], p[2], p[3]};
  };
  EXPECT_EQ(pixel(0, 0), (std::vector<int>{89, 199, 51, 255}));
  EXPECT_EQ(pixel(639, 359)[0], 255);
  EXPECT_LT(pixel(639, 359)[1], 140);
  EXPECT_EQ(pixels[640 * 4], 7) << "the row padding stays the host's";
  auto media = kept.media();
  ASSERT_TRUE(media) << media.message();
  ASSERT_EQ(media->pixels.size(), 640u * 360 * 4);
  EXPECT_EQ(std::vector<int>(media->pixels.begin(), media->pixels.begin() + 4),
            (std::vector<int>{51, 199, 89, 255}));

  // 4. Impression and click count once each, the click only after the impression; the
  //    script's click after the impression taps a view, which a host-drawn ad has not.
  //    Revenue after the 15 % fee.
  EXPECT_EQ(kept.recordClick(), TILO_STATUS_NOT_SHOWN);
  EXPECT_EQ(kept.recordImpression(), TILO_STATUS_OK);
  EXPECT_EQ(kept.recordImpression(), TILO_STATUS_ALREADY_RECORDED);
  sdk.drive([] { return false; }, 1);
  EXPECT_EQ(kept.recordClick(), TILO_STATUS_OK);
  EXPECT_EQ(kept.recordClick(), TILO_STATUS_ALREADY_RECORDED);
  sdk.drive([] { return false; }, 1);
  EXPECT_EQ(calls, (std::vector<std::string>{"load native", "load native", "impression Meta",
                                             "pay 0.017 USD", "click"}));

  // 5. Dropping the ad destroys it; an empty one answers with a status. The loader's
  //    handle is no ad.
  kept = NativeAd();
  EXPECT_EQ(tilo_native_ad_record_click(ad), TILO_STATUS_INVALID_HANDLE);
  EXPECT_EQ(kept.headline(), std::nullopt);
  EXPECT_EQ(kept.icon().status(), TILO_STATUS_INVALID_HANDLE);
  EXPECT_EQ(tilo_native_ad_record_impression(reinterpret_cast<tilo_native_ad*>(loader.handle())),
            TILO_STATUS_WRONG_HANDLE_TYPE);
}

}  // namespace
}  // namespace tilo::test
