#include "Tilo/inspector/AdInspector.h"

#include "Tilo/ads/TiloAppOpenAdLoader.h"
#include "Tilo/ads/TiloInterstitialAdLoader.h"
#include "Tilo/ads/TiloRewardedAdLoader.h"
#include "Tilo/entry/TiloAds.h"
#include "Tilo/entry/TiloService.h"
#include "Tilo/inspector/InspectorSnapshot.h"
#include "Tilo/inspector/InspectorText.h"
#include "Tilo/views/TiloAdBannerView.h"
#include "Tilo/views/TiloAdLineBannerView.h"
#include "Tilo/views/TiloLightPopupAdLoader.h"
#include "mediation/demand/Demand.h"
#include "platform/Environment.h"
#include "platform/ui/UIViewController.h"

namespace tilo::inspector {
namespace {

std::string failure(const std::string& what, const TiloError& error) {
  return what + ": " + shownText(error.message(), kMaxMessageCharacters);
}

}  // namespace

bool AdInspector::isAdShowing(const platform::UIWindow& window) {
  const auto& root = window.rootViewController();
  return root && root->presentedViewController() != nullptr;
}

std::shared_ptr<AdInspector> AdInspector::open(const std::shared_ptr<platform::UIWindow>& window,
                                               std::function<void()> onClosed) {
  if (!window || window->isClosed() || isAdShowing(*window)) return nullptr;
  auto inspector = std::make_shared<AdInspector>(window, std::move(onClosed));
  std::weak_ptr<AdInspector> weak = inspector;
  auto& view = inspector->view_;
  view = InspectorView::create();
  view->onClose = [weak] {
    if (auto self = weak.lock()) self->close();
  };
  view->onSelectPage = [weak](std::size_t page) {
    if (auto self = weak.lock()) self->selectPage(page);
  };
  view->onTestAd = [weak](const std::string& unit) {
    if (auto self = weak.lock()) self->showTestAd(unit);
  };
  view->setTranslatesAutoresizingMaskIntoConstraints(false);
  // Above the root view and what is placed in it; what is presented later goes above.
  window->addSubview(view);
  platform::NSLayoutConstraint::activateConstraints(
      {view->topAnchor().constraintEqualToAnchor(window->topAnchor()),
       view->bottomAnchor().constraintEqualToAnchor(window->bottomAnchor()),
       view->leadingAnchor().constraintEqualToAnchor(window->leadingAnchor()),
       view->trailingAnchor().constraintEqualToAnchor(window->trailingAnchor())});
  inspector->refresh();
  inspector->timer_ = platform::Timer::scheduled(kRefreshInterval, true, [weak] {
    if (auto self = weak.lock()) self->refresh();
  });
  // The window's close runs this under its subscription lock: only post from there.
  inspector->windowClosed_ = window->observeClose([weak] {
    platform::postToMain([weak] {
      if (auto self = weak.lock()) self->close();
    });
  });
  return inspector;
}

AdInspector::AdInspector(std::shared_ptr<platform::UIWindow> window, std::function<void()> onClosed)
    : window_(std::move(window)), onClosed_(std::move(onClosed)) {}

void AdInspector::close() {
  if (!view_) return;
  if (timer_) timer_->invalidate();
  timer_.reset();
  windowClosed_ = {};
  if (auto preview = view_) preview->setPreview(nullptr, {}, "");
  view_->removeFromSuperview();
  view_.reset();
  shown_.reset();
  ++attempt_;  // late callbacks of a test ad find nothing to update
  testLoader_.reset();
  testAd_.reset();
  testAdsOnly_.cancel();
  if (auto closed = std::exchange(onClosed_, nullptr)) platform::postToMain(std::move(closed));
}

void AdInspector::selectPage(std::size_t index) {
  if (!view_ || !isPageShown(index)) return;
  page_ = index;
  shown_.reset();
  refresh();
}

void AdInspector::refresh() {
  if (!view_) return;
  const auto snapshot = captureInspectorSnapshot(testAds_);
  auto pages = shownPages(snapshot);
  if (!pages[page_]) page_ = 0;  // its exchange went away
  auto content = inspectorPages()[page_].build(snapshot);
  if (shown_ && *shown_ == content && pages == pagesShown_) return;
  view_->show(page_, content, pages);
  shown_ = std::move(content);
  pagesShown_ = std::move(pages);
}

void AdInspector::setTestAdStatus(std::uint64_t attempt, const std::string& adUnitId,
                                  std::string status) {
  if (attempt != attempt_ || !view_) return;
  testAds_[adUnitId] = std::move(status);
  refresh();
}

template <class Loader, class Listener>
void AdInspector::loadFullScreen(std::uint64_t attempt, const std::string& adUnitId,
                                 const std::shared_ptr<Loader>& loader, Listener listenerOf) {
  std::weak_ptr<AdInspector> weak = weak_from_this();
  loader->listener()->onAdLoadSuccess = [weak, attempt, adUnitId, listenerOf](auto ad, auto) {
    auto self = weak.lock();
    if (!self || attempt != self->attempt_ || !ad) return;
    self->testAd_ = ad;
    auto& display = *listenerOf(*ad);
    display.onShown = [weak, attempt, adUnitId](auto) {
      if (auto self = weak.lock()) self->setTestAdStatus(attempt, adUnitId, "Shown");
    };
    display.onDismiss = [weak, attempt, adUnitId](auto) {
      if (auto self = weak.lock()) self->setTestAdStatus(attempt, adUnitId, "Dismissed");
    };
    display.onFailedToShow = [weak, attempt, adUnitId](auto, const TiloError& error) {
      if (auto self = weak.lock()) {
        self->setTestAdStatus(attempt, adUnitId, failure("Failed to show", error));
      }
    };
    self->setTestAdStatus(attempt, adUnitId, "Loaded");
    auto window = self->window_.lock();
    if (!window) return;
    if constexpr (requires { ad->show(window->rootViewController()); }) {
      ad->show(window->rootViewController());
    } else {
      ad->show();
    }
  };
  loader->listener()->onAdLoadFail = [weak, attempt, adUnitId](const TiloError& error) {
    if (auto self = weak.lock()) self->setTestAdStatus(attempt, adUnitId, failure("Failed", error));
  };
  testLoader_ = loader;
  if constexpr (requires { loader->loadAd(); }) {
    loader->loadAd();
  } else {
    loader->load();
  }
}

void AdInspector::showTestAd(const std::string& adUnitId) {
  auto window = window_.lock();
  if (!view_ || !window) return;
  const std::uint64_t attempt = ++attempt_;
  testLoader_.reset();
  testAd_.reset();
  testAdsOnly_.cancel();
  view_->setPreview(nullptr, {}, "");
  std::shared_ptr<TiloService> service;
  std::optional<TiloAppInfo> appInfo;
  if (TiloAds::isSharedBuilt()) {
    if (auto started = TiloAds::sharedOrError()) service = started.value()->core();
  }
  if (service) appInfo = service->currentAppInfo();
  const TiloAdUnitItem* item = appInfo ? appInfo->item(adUnitId) : nullptr;
  if (!item) {
    setTestAdStatus(attempt, adUnitId, "Failed: not in the backend's ad units");
    return;
  }
  testAds_[adUnitId] = "Loading…";
  testAdsOnly_ = mediation::demand::Demand::testAdsOnly(item->mediationAdUnitId);
  const TiloAdUnit unit{adUnitId};
  const std::string& format = item->type;
  std::weak_ptr<AdInspector> weak = weak_from_this();
  if (format == "interstitial") {
    loadFullScreen(attempt, adUnitId, TiloInterstitialAdLoader::create(unit, service),
                   [](TiloInterstitialAd& ad) { return ad.interstitialListener(); });
  } else if (format == "rewarded") {
    loadFullScreen(attempt, adUnitId, TiloRewardedAdLoader::create(unit, service),
                   [](TiloRewardedAd& ad) { return ad.rewardedAdListener(); });
  } else if (format == "appOpen") {
    loadFullScreen(attempt, adUnitId, TiloAppOpenAdLoader::create(unit, service),
                   [](TiloAppOpenAd& ad) { return ad.appOpenAdListener(); });
  } else if (format == "lightPopup") {
    loadFullScreen(attempt, adUnitId, TiloLightPopupAdLoader::create(unit, service),
                   [](TiloLightPopupAd& ad) { return ad.lightPopupAdListener(); });
  } else if (format == "banner" || format == "mrec" || format == "native") {
    // Shown in the strip under the page, where it loads as soon as it is on screen.
    std::shared_ptr<platform::UIView> view;
    platform::CGSize size{0, 60};
    auto onLoad = [weak, attempt, adUnitId](auto, auto) {
      if (auto self = weak.lock()) self->setTestAdStatus(attempt, adUnitId, "Shown");
    };
    auto onFail = [weak, attempt, adUnitId](const TiloError& error) {
      if (auto self = weak.lock())
        self->setTestAdStatus(attempt, adUnitId, failure("Failed", error));
    };
    if (format == "native") {
      auto line = TiloAdLineBannerView::create(unit, true, service);
      line->listener()->onAdLoadSuccess = onLoad;
      line->listener()->onAdLoadFail = onFail;
      view = line;
    } else {
      const auto bannerSize =
          format == "banner" ? TiloAdBannerSize::banner : TiloAdBannerSize::MREC;
      auto banner = TiloAdBannerView::create(unit, bannerSize, true, service);
      banner->listener()->onAdLoadSuccess = onLoad;
      banner->listener()->onAdLoadFail = onFail;
      size = platform::CGSize{width(bannerSize), height(bannerSize)};
      view = banner;
    }
    testAd_ = view;
    view_->setPreview(view, size, "Test ad: " + shownText(adUnitId, kMaxIdentifierCharacters));
  } else {
    setTestAdStatus(attempt, adUnitId, "Failed: unknown format " + shownText(format, 40));
    return;
  }
  refresh();
}

}  // namespace tilo::inspector
