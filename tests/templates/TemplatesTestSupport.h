// The views' test SDK (native unit "native-unit" on "gad/native"), with helpers to place a
// line banner under the safe-area top and to load a light popup over a host controller.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "Tilo/views/TiloAdLineBannerView.h"
#include "Tilo/views/TiloLightPopupAdLoader.h"
#include "platform/ui/UIViewController.h"
#include "views/ViewsTestSupport.h"

namespace tilo::test {

class TemplatesTest : public ViewsTest {
 protected:
  // Frame of `view` in `in`'s coordinates.
  static platform::CGRect frameIn(const platform::UIView& view, const platform::UIView& in) {
    return view.convertRect(view.bounds(), &in);
  }

  // A 390 × 60 line under the safe-area top of the window, loading at once.
  void placeLine() {
    lineLoads = 0;
    line = TiloAdLineBannerView::create(TiloAdUnit{"native-unit"}, true);
    line->listener()->onAdLoadSuccess = [this](auto, auto) { ++lineLoads; };
    window->addSubview(line);
    line->setFrame({0, 47, 390, 60});
    line->loadAd();
    settle();
  }

  // The host's screen, and a popup loaded for it (with the native `scenario` first, if any).
  void loadPopup(const std::string& scenario = "") {
    if (!scenario.empty()) script("gad/native", scenario);
    game = platform::UIViewController::create("game");
    window->setRootViewController(game);
    loader = TiloLightPopupAdLoader::create(TiloAdUnit{"native-unit"});
    loader->listener()->onAdLoadSuccess = [this](std::shared_ptr<TiloLightPopupAd> loaded,
                                                 std::optional<TiloAdInfo> info) {
      ad = std::move(loaded);
      loadInfos.push_back(*info);
    };
    loader->listener()->onAdLoadFail = [this](const TiloError& error) {
      loadErrors.push_back(error);
    };
    loader->listener()->onAdImpression = [this](auto info) { impressions.push_back(*info); };
    loader->loadAd();
    settle();
    ASSERT_TRUE(ad);
    popup = ad->lightPopupVC();
    ad->lightPopupAdListener()->onShown = [this](auto info) {
      shownAt.push_back(sdk.env().mockClock().uptime());
      displayInfos.push_back(info);
    };
    ad->lightPopupAdListener()->onDismiss = [this](auto info) {
      dismissedAt.push_back(sdk.env().mockClock().uptime());
      displayInfos.push_back(info);
    };
  }

  std::shared_ptr<TiloAdLineBannerView> line;
  int lineLoads = 0;

  std::shared_ptr<platform::UIViewController> game;
  std::shared_ptr<TiloLightPopupAdLoader> loader;
  std::shared_ptr<TiloLightPopupAd> ad;
  std::shared_ptr<TiloLightPopupViewController> popup;
  std::vector<TiloAdInfo> loadInfos, impressions;
  std::vector<TiloError> loadErrors;
  std::vector<double> shownAt, dismissedAt;
  std::vector<std::optional<TiloAdInfo>> displayInfos;
};

}  // namespace tilo::test
