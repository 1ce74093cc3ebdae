// The demo's view formats (banner, MREC, native, line banner) placed in its phone window,
// and the snapshots of that window.
#include "tools/demo/DemoApp.h"

#include <filesystem>
#include <system_error>

#include "Tilo/views/TiloAdBannerView.h"
#include "Tilo/views/TiloAdLineBannerView.h"
#include "Tilo/views/TiloAdNativeView.h"
#include "platform/FileSystem.h"
#include "platform/ui/LayoutDump.h"
#include "platform/ui/NSLayoutConstraint.h"
#include "platform/ui/UIImageView.h"
#include "platform/ui/UIWindow.h"
#include "platform/ui/ViewRenderer.h"

namespace tilo::demo {

namespace {

using platform::NSLayoutConstraint;

// The host's own asset views for the native format, laid out with Auto Layout.
struct NativeAssetViews {
  std::shared_ptr<platform::UILabel> title, advertiser, body;
  std::shared_ptr<platform::UIImageView> icon;
  std::shared_ptr<platform::UIView> media;
  std::shared_ptr<platform::UIButton> callToAction;
};

NativeAssetViews buildNativeAssets(TiloAdNativeView& native) {
  NativeAssetViews views{platform::UILabel::create(), platform::UILabel::create(),
                         platform::UILabel::create(), platform::UIImageView::create(),
                         platform::UIView::create(),  platform::UIButton::create()};
  views.title->setFont(platform::UIFont::systemFont(17, platform::UIFontWeight::bold));
  views.advertiser->setFont(platform::UIFont::systemFont(13));
  views.advertiser->setTextColor(platform::UIColor::systemGrayColor());
  views.body->setNumberOfLines(2);
  views.body->setFont(platform::UIFont::systemFont(14));
  views.callToAction->setBackgroundColor(platform::UIColor::systemBlueColor());
  views.callToAction->setTitleColor(platform::UIColor::whiteColor(),
                                    platform::UIControlState::normal);
  views.callToAction->layer().setCornerRadius(10);
  views.icon->layer().setCornerRadius(8);
  views.icon->setClipsToBounds(true);
  views.media->setBackgroundColor(platform::UIColor::secondarySystemBackgroundColor());
  const std::vector<std::shared_ptr<platform::UIView>> all = {
      views.icon, views.title, views.advertiser, views.body, views.media, views.callToAction};
  for (const auto& view : all) {
    view->setTranslatesAutoresizingMaskIntoConstraints(false);
    native.addSubview(view);
  }
  auto& container = *native.adView();
  NSLayoutConstraint::activateConstraints({
      views.icon->leadingAnchor().constraintEqualToAnchor(container.leadingAnchor(), 12),
      views.icon->topAnchor().constraintEqualToAnchor(container.topAnchor(), 12),
      views.icon->widthAnchor().constraintEqualToConstant(48),
      views.icon->heightAnchor().constraintEqualToConstant(48),
      views.title->leadingAnchor().constraintEqualToAnchor(views.icon->trailingAnchor(), 10),
      views.title->trailingAnchor().constraintEqualToAnchor(container.trailingAnchor(), -12),
      views.title->topAnchor().constraintEqualToAnchor(views.icon->topAnchor(), 2),
      views.advertiser->leadingAnchor().constraintEqualToAnchor(views.title->leadingAnchor()),
      views.advertiser->trailingAnchor().constraintEqualToAnchor(views.title->trailingAnchor()),
      views.advertiser->topAnchor().constraintEqualToAnchor(views.title->bottomAnchor(), 4),
      views.body->leadingAnchor().constraintEqualToAnchor(container.leadingAnchor(), 12),
      views.body->trailingAnchor().constraintEqualToAnchor(container.trailingAnchor(), -12),
      views.body->topAnchor().constraintEqualToAnchor(views.icon->bottomAnchor(), 10),
      views.media->leadingAnchor().constraintEqualToAnchor(container.leadingAnchor(), 12),
      views.media->trailingAnchor().constraintEqualToAnchor(container.trailingAnchor(), -12),
      views.media->topAnchor().constraintEqualToAnchor(views.body->bottomAnchor(), 10),
      views.media->heightAnchor().constraintEqualToAnchor(views.media->widthAnchor(), 9.0 / 16, 0),
      views.callToAction->leadingAnchor().constraintEqualToAnchor(container.leadingAnchor(), 12),
      views.callToAction->trailingAnchor().constraintEqualToAnchor(container.trailingAnchor(), -12),
      views.callToAction->topAnchor().constraintEqualToAnchor(views.media->bottomAnchor(), 10),
      views.callToAction->heightAnchor().constraintEqualToConstant(44),
      views.callToAction->bottomAnchor().constraintEqualToAnchor(container.bottomAnchor(), -12),
  });
  native.bindViews(views.title, views.advertiser, views.body, views.icon, views.media,
                   views.callToAction);
  return views;
}

}  // namespace

std::shared_ptr<platform::UIWindow> DemoApp::makeWindow() const {
  auto window = platform::UIWindow::create({390, 844}, 3, {47, 0, 34, 0});
  window->setAppearance(options_.appearance);
  window->setBackgroundColor(platform::UIColor::systemBackgroundColor());
  return window;
}

bool DemoApp::runView(DemoFormat format, const TiloAdUnitItem& item) {
  const mediation::AdScript script = expectation(item, format);
  observed_ = {};
  const std::string name(demoFormatName(format));
  auto window = makeWindow();
  auto loads = std::make_shared<int>(0);
  auto failures = std::make_shared<int>(0);
  auto onSuccess = [this, loads](auto, std::optional<TiloAdInfo> info) {
    ++*loads;
    hostCallback("onAdLoadSuccess", describe(info));
  };
  auto onFail = [this, failures](const TiloError& error) {
    ++*failures;
    hostCallback("onAdLoadFail", error.debugDescription());
  };
  auto onImpression = [this](auto info) { hostCallback("onAdImpression", describe(info)); };
  auto onClick = [this](auto info) { hostCallback("onAdClicked", describe(info)); };

  std::shared_ptr<platform::UIView> view;
  std::shared_ptr<TiloAdNativeView> native;
  NativeAssetViews assets;
  if (format == DemoFormat::lineBanner) {
    native = TiloAdLineBannerView::create(TiloAdUnit{item.tiloAdUnitId, std::nullopt}, true);
    native->registerPlugin(plugin_);
    *native->listener() = {onSuccess, onFail, onClick, onImpression, {}};
    view = native;
  } else if (format == DemoFormat::native) {
    native = TiloAdNativeView::create(TiloAdUnit{item.tiloAdUnitId, std::nullopt}, true);
    native->registerPlugin(plugin_);
    *native->listener() = {onSuccess, onFail, onClick, onImpression, {}};
    native->setBackgroundColor(platform::UIColor::systemBackgroundColor());
    native->layer().setCornerRadius(12);
    native->layer().setBorderWidth(1);
    native->layer().setBorderColor(platform::UIColor::systemGray3Color());
    assets = buildNativeAssets(*native);
    view = native;
  } else {
    auto banner = TiloAdBannerView::create(
        TiloAdUnit{item.tiloAdUnitId, std::nullopt},
        format == DemoFormat::banner ? TiloAdBannerSize::banner : TiloAdBannerSize::MREC, true);
    banner->registerPlugin(plugin_);
    *banner->listener() = {onSuccess, onFail, onClick, onImpression, {}};
    view = banner;
  }
  view->setAccessibilityIdentifier(name);
  view->setTranslatesAutoresizingMaskIntoConstraints(false);
  window->addSubview(view);
  std::vector<std::shared_ptr<NSLayoutConstraint>> place = {
      view->centerXAnchor().constraintEqualToAnchor(window->centerXAnchor())};
  if (format == DemoFormat::banner) {
    place.push_back(view->bottomAnchor().constraintEqualToAnchor(
        window->safeAreaLayoutGuide()->bottomAnchor()));
  } else if (format == DemoFormat::lineBanner) {
    // A full-width strip under the status bar; the line centres its contents in it.
    place.push_back(
        view->topAnchor().constraintEqualToAnchor(window->safeAreaLayoutGuide()->topAnchor()));
    place.push_back(view->widthAnchor().constraintEqualToConstant(390));
    place.push_back(view->heightAnchor().constraintEqualToConstant(60));
  } else {
    place.push_back(view->centerYAnchor().constraintEqualToAnchor(window->centerYAnchor()));
  }
  if (format == DemoFormat::native) {
    place.push_back(view->widthAnchor().constraintEqualToConstant(358));
  }
  NSLayoutConstraint::activateConstraints(place);
  window->layoutIfNeeded();
  if (native) native->loadAd();

  loop_->runUntil([&] { return *loads > 0 || *failures > 0; }, script.delayMs / 1000 + kStepLimit);
  bool ok = true;
  if (!script.fill) {
    ok = *failures > 0 && *loads == 0;
    out_ << (ok ? "  " + name + ": no ad, as scripted\n" : "  error: expected no fill\n");
  } else if (*loads == 0) {
    out_ << "  error: no ad within " << kStepLimit << " s\n";
    ok = false;
  } else {
    const bool expectRevenue = static_cast<bool>(script.revenue);
    loop_->runUntil(
        [&] {
          return observed_.callbacks.count("onAdImpression") &&
                 (!script.click || observed_.callbacks.count("onAdClicked")) &&
                 (!expectRevenue || !observed_.revenueEvents.empty());
        },
        kStepLimit);
    ok = checkEngagement(script) && ok;
    if (expectRevenue && observed_.revenueEvents.empty()) {
      out_ << "  error: no revenue event\n";
      ok = false;
    }
  }
  if (ok && options_.snapshots) ok = writeSnapshots(name, *window, view.get());
  const int before = *loads;
  loop_->runFor(options_.dwellMs / 1000.0);
  out_ << "  on screen " << options_.dwellMs << " ms: " << (*loads - before) << " more load(s), "
       << *failures << " failure(s)\n";
  view->removeFromSuperview();
  return ok;
}

bool DemoApp::writeSnapshots(const std::string& name, platform::UIWindow& window,
                             const platform::UIView* ad) {
  const std::filesystem::path dir = *options_.snapshots;
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  const auto png = dir / (name + ".png");
  const auto json = dir / (name + ".json");
  std::string problem;
  const platform::Bytes picture = platform::ViewRenderer::pngData(window);
  if (picture.empty() ||
      !platform::FileSystem::atomicWrite(
          png, std::string_view(reinterpret_cast<const char*>(picture.data()), picture.size()))) {
    out_ << "  error: snapshot " << png.string() << ": cannot draw or write it\n";
    return false;
  }
  if (ad) {
    // The window's picture shown through a clipping view of the ad's frame: the same
    // pixels, and what lies beneath the ad, at the window's scale.
    const auto frame = ad->convertRect(ad->bounds(), nullptr);
    auto crop = platform::UIView::create();
    crop->setFrame({{0, 0}, frame.size});
    crop->setClipsToBounds(true);
    auto shown =
        platform::UIImageView::create(platform::UIImage::imageWithData(picture, window.scale()));
    shown->setFrame({{-frame.origin.x, -frame.origin.y}, window.bounds().size});
    crop->addSubview(shown);
    const auto adPng = dir / (name + "-ad.png");
    if (!platform::ViewRenderer::writePNG(*crop, adPng.string(), &problem, window.scale())) {
      out_ << "  error: snapshot " << adPng.string() << ": " << problem << "\n";
      return false;
    }
  }
  if (!platform::FileSystem::atomicWrite(json, platform::layoutDumpString(window) + "\n")) {
    out_ << "  error: cannot write " << json.string() << "\n";
    return false;
  }
  out_ << "  snapshot " << png.string() << " and " << json.string() << "\n";
  return true;
}

}  // namespace tilo::demo
