#include "tools/demo/DemoApp.h"

#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <iomanip>
#include <sstream>

#include <filesystem>
#include "Tilo/ads/TiloAppOpenAdLoader.h"
#include "Tilo/ads/TiloInterstitialAdLoader.h"
#include "Tilo/ads/TiloRewardedAdLoader.h"
#include "Tilo/backend/TiloAdUnitSynchronizer.h"
#include "Tilo/backend/TiloApi.h"
#include "Tilo/base/ApiBaseUrl.h"
#include "Tilo/entry/TiloAds.h"
#include "Tilo/entry/TiloService.h"
#include "Tilo/telemetry/AdEventLogger.h"
#include "Tilo/telemetry/CrashMarkers.h"
#include "Tilo/views/TiloAdBannerView.h"
#include "Tilo/views/TiloAdLineBannerView.h"
#include "Tilo/views/TiloAdNativeView.h"
#include "Tilo/views/TiloLightPopupAdLoader.h"
#include "mediation/CallRecorder.h"
#include "platform/Application.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/HttpClient.h"
#include "platform/Timer.h"
#include "platform/ui/LayoutDump.h"
#include "platform/ui/NSLayoutConstraint.h"
#include "platform/ui/UIViewController.h"
#include "platform/ui/UIWindow.h"
#include "platform/ui/ViewRenderer.h"
#include "tools/devserver/DevServer.h"

namespace tilo::demo {
namespace {

using platform::Json;

// Generous real-time limits: the loopback backend and the scripted ads answer in
// milliseconds, but a loaded machine must not turn a slow run into a failure.
constexpr double kStepLimit = 15;
// Preparing the ad networks after the fetch: scripted, so quick, but not bounded by the SDK.
constexpr double kNetworkPreparationLimit = 30;

constexpr const char* kRelaunchMarker = "TILO_DEMO_RELAUNCHED";
constexpr const char* kSkipIdleVariable = "TILO_DEMO_SKIP_IDLE";

// Strings bare, numbers with six significant digits (latencies are sums of doubles).
std::string text(const Json& value) {
  if (value.is_null()) return "-";
  if (value.is_string()) return value.get<std::string>();
  if (!value.is_number()) return platform::dumpCompact(value);
  std::ostringstream number;
  number << value.get<double>();
  return number.str();
}

}  // namespace

DemoApp::DemoApp(DemoOptions options, std::vector<std::string> args, std::ostream& out)
    : options_(std::move(options)), args_(std::move(args)), out_(out) {}

DemoApp::~DemoApp() {
  if (server_) server_->stop();
}

int DemoApp::run() {
  // Before anything asks for the main loop or the clock.
  if (const char* skip = ::getenv(kSkipIdleVariable); skip && std::string(skip) == "1") {
    skippingIdle_ = &DemoEnvironment::install();
  }
  loop_ = skippingIdle_ ? skippingIdle_->loop() : platform::MainLoop::shared();
  startUptime_ = platform::Environment::current().clock().uptime();
  // Before the SDK exists, so the lines of its construction show too.
  setCurrentLogLevel(options_.logLevel);
  DemoWorkspace workspace = DemoWorkspace::prepare(options_, out_);
  if (options_.crashAt && !options_.container) {
    // Whatever the crash leaves is only seen by a run on the same container.
    workspace.keep();
    out_ << "the container is kept: run again with --container " << workspace.container().string()
         << " to see the crash reported\n";
  }
  return start(workspace);
}

int DemoApp::start(DemoWorkspace& workspace) {
  if (options_.apiBaseUrl) {
    if (!isAcceptableApiBaseUrl(*options_.apiBaseUrl)) {
      out_ << "error: --api-base-url must be https://, or http:// to a loopback host\n";
      return 2;
    }
    baseUrl_ = *options_.apiBaseUrl;
    out_ << "backend " << baseUrl_ << "\n";
  } else {
    devserver::DevServerOptions serverOptions;
    serverOptions.appKey = workspace.appKey();
    serverOptions.appInfoJson = embeddedAppInfoJson();
    std::string error;
    server_ = devserver::DevServer::start(serverOptions, &error);
    if (!server_) {
      out_ << "error: cannot start the embedded backend: " << error << "\n";
      return 1;
    }
    baseUrl_ = server_->baseUrl();
    out_ << "backend " << baseUrl_ << " (embedded)\n";
  }
  TiloAds::setApiBaseUrl(baseUrl_);

  auto& source = mediation::AdSource::shared();
  const auto scenarioError = options_.scenario
                                 ? source.loadScenarioFile(*options_.scenario)
                                 : source.loadScenario(platform::parseJson(embeddedScenarioJson()));
  if (scenarioError) {
    out_ << "error: scenario: " << *scenarioError << "\n";
    return 2;
  }
  const bool anyView = std::any_of(options_.formats.begin(), options_.formats.end(), [](auto f) {
    return f != DemoFormat::interstitial && f != DemoFormat::rewarded && f != DemoFormat::appOpen;
  });
  if (options_.snapshots && !anyView) {
    out_ << "snapshots: skipped (the full-screen formats have no ad view to draw)\n";
  }

  plugin_ = DemoPlugin::create(
      workspace.appKey(),
      [this](const Json& event) {
        out_ << "  plugin event " << platform::dumpCompact(event) << "\n";
        observed_.revenueEvents.push_back(event);
      },
      [this](const std::string& problem) { out_ << "  plugin error: " << problem << "\n"; });

  if (!initialize()) return 1;
  relaunchIfMarkersAreOff(workspace);
  bool ok = resolveUnits();
  for (int round = 1; round <= options_.repeat; ++round) {
    if (options_.repeat > 1) out_ << "\nround " << round << " of " << options_.repeat << "\n";
    for (DemoFormat format : options_.formats) {
      if (items_.count(format)) ok = runFormat(format) && ok;
    }
  }
  flushAnalytics();
  printStoredEvents();
  if (options_.logLevel == TiloLogLevel::debug) {
    out_ << "\noutside-SDK calls\n" << mediation::CallRecorder::shared().describe();
  }
  out_ << (ok ? "\ndemo finished: every requested format behaved as scripted\n"
              : "\ndemo finished with errors\n");
  return ok ? 0 : 1;
}

bool DemoApp::initialize() {
  // As long as the SDK may take itself: a slow backend must not be mistaken for a hang.
  RetryPolicy policy;
  if (auto api = std::dynamic_pointer_cast<TiloApi>(TiloAds::shared().core()->tiloApi())) {
    policy = api->retryPolicy();
  }
  const double limit = TiloApi::worstCaseFetchSeconds(policy) + kNetworkPreparationLimit;
  auto result = std::make_shared<std::optional<std::optional<TiloError>>>();
  TiloAds::shared().initialized([result](std::optional<TiloError> error) { *result = error; });
  if (!loop_->runUntil([&] { return result->has_value(); }, limit)) {
    out_ << "error: initialization did not finish within " << limit << " s\n";
    return false;
  }
  if (const auto& error = **result) {
    out_ << "initialization failed: " << error->debugDescription() << "\n";
    return false;
  }
  out_ << "initialized\n";
  return true;
}

void DemoApp::relaunchIfMarkersAreOff(DemoWorkspace& workspace) {
  if (!options_.crashAt || enableMarkerCheckpoints()) return;
  if (::getenv(kRelaunchMarker)) {
    out_ << "note: the backend's sdkConfig keeps crash markers off; the crash will not be "
            "reported\n";
    return;
  }
  out_ << "crash markers are off in this launch (the container had no cached sdkConfig yet); "
          "relaunching once with the configuration this launch cached\n"
       << std::flush;
  std::vector<std::string> args = args_;
  if (!options_.bundle) args.insert(args.end(), {"--bundle", workspace.bundle().string()});
  if (!options_.container) args.insert(args.end(), {"--container", workspace.container().string()});
  std::vector<char*> argv{const_cast<char*>("tilo-demo")};
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  workspace.keep();
  if (server_) server_->stop();
  std::fflush(stdout);
  ::setenv(kRelaunchMarker, "1", 1);
  ::execv("/proc/self/exe", argv.data());
  out_ << "error: relaunch failed: " << ::strerror(errno) << "\n";
  std::exit(1);
}

bool DemoApp::resolveUnits() {
  out_ << "\nad units\n";
  bool ok = true;
  for (DemoFormat format : options_.formats) {
    const std::string& unitId = options_.units.at(format);
    using Synchronizer = TiloAdUnitSynchronizer<bool>;
    auto synchronizer = Synchronizer::create(
        [](const TiloAdUnitItem&, Completion<bool> done) { done(true); }, TiloAds::shared().core());
    auto result = std::make_shared<std::optional<Result<TiloAdUnitItem>>>();
    synchronizer->syncTiloAdUnit(unitId, [result](Result<TiloAdUnitItem> item) {
      platform::postToMain([result, item] { *result = item; });
    });
    loop_->runUntil([&] { return result->has_value(); }, kStepLimit);
    if (!*result || !**result) {
      out_ << "  " << unitId << ": "
           << (*result ? localizedDescription((*result)->error()) : "no answer") << "\n";
      ok = false;
      continue;
    }
    const TiloAdUnitItem& item = (*result)->value();
    out_ << "  " << unitId << " -> " << item.mediationAdUnitId << "  type " << item.type
         << "  refresh " << item.refreshInterval << " s  fee rate "
         << (item.feeRate ? item.feeRate->description() : "none") << "\n";
    items_.emplace(format, item);
  }
  return ok;
}

bool DemoApp::runFormat(DemoFormat format) {
  const TiloAdUnitItem& item = items_.at(format);
  out_ << "\n" << demoFormatName(format) << " (" << item.tiloAdUnitId << ")\n";
  switch (format) {
    case DemoFormat::interstitial:
      return runFullScreen<TiloInterstitialAdLoader>(format, item, [this](TiloInterstitialAd& ad) {
        ad.interstitialListener()->onShown = [this](auto info) {
          hostCallback("onShown", describe(info));
        };
        ad.interstitialListener()->onDismiss = [this](auto) { hostCallback("onDismiss"); };
        ad.interstitialListener()->onFailedToShow = [this](auto, const TiloError& error) {
          hostCallback("onFailedToShow", error.debugDescription());
        };
        ad.show(platform::UIViewController::create("tilo-demo"));
      });
    case DemoFormat::rewarded:
      return runFullScreen<TiloRewardedAdLoader>(format, item, [this](TiloRewardedAd& ad) {
        auto& listener = *ad.rewardedAdListener();
        listener.onShown = [this](auto info) { hostCallback("onShown", describe(info)); };
        listener.onDismiss = [this](auto) { hostCallback("onDismiss"); };
        listener.onFailedToShow = [this](auto, const TiloError& error) {
          hostCallback("onFailedToShow", error.debugDescription());
        };
        listener.onEarnedReward = [this](auto, std::optional<TiloRewardedItem> reward) {
          hostCallback(
              "onEarnedReward",
              reward ? std::to_string(reward->amount) + " " + reward->rewardType : "no reward");
        };
        ad.show(platform::UIViewController::create("tilo-demo"));
      });
    case DemoFormat::appOpen:
      return runFullScreen<TiloAppOpenAdLoader>(format, item, [this](TiloAppOpenAd& ad) {
        ad.appOpenAdListener()->onShown = [this](auto info) {
          hostCallback("onShown", describe(info));
        };
        ad.appOpenAdListener()->onDismiss = [this](auto) { hostCallback("onDismiss"); };
        ad.appOpenAdListener()->onFailedToShow = [this](auto, const TiloError& error) {
          hostCallback("onFailedToShow", error.debugDescription());
        };
        ad.show();
      });
    case DemoFormat::banner:
    case DemoFormat::mrec:
    case DemoFormat::native:
    case DemoFormat::lineBanner:
      return runView(format, item);
    case DemoFormat::lightPopup:
      return runLightPopup(item);
  }
  return false;
}

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
  const mediation::AdScript script =
      mediation::AdSource::shared().scriptFor(item.mediationAdUnitId);
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
  if (ok && options_.snapshots) ok = writeSnapshots(format, *window);
  const int before = *loads;
  loop_->runFor(options_.dwellMs / 1000.0);
  out_ << "  on screen " << options_.dwellMs << " ms: " << (*loads - before) << " more load(s), "
       << *failures << " failure(s)\n";
  view->removeFromSuperview();
  return ok;
}

bool DemoApp::writeSnapshots(DemoFormat format, platform::UIWindow& window) {
  const std::filesystem::path dir = *options_.snapshots;
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  const std::string name(demoFormatName(format));
  const auto png = dir / (name + ".png");
  const auto json = dir / (name + ".json");
  std::string problem;
  if (!platform::ViewRenderer::writePNG(window, png.string(), &problem)) {
    out_ << "  error: snapshot " << png.string() << ": " << problem << "\n";
    return false;
  }
  if (!platform::FileSystem::atomicWrite(json, platform::layoutDumpString(window) + "\n")) {
    out_ << "  error: cannot write " << json.string() << "\n";
    return false;
  }
  out_ << "  snapshot " << png.string() << " and " << json.string() << "\n";
  return true;
}

namespace {

std::string seconds(double value, int decimals) {
  std::ostringstream text;
  text << std::fixed << std::setprecision(decimals) << value;
  return text.str();
}

}  // namespace

bool DemoApp::runLightPopup(const TiloAdUnitItem& item) {
  const mediation::AdScript script =
      mediation::AdSource::shared().scriptFor(item.mediationAdUnitId);
  observed_ = {};
  // Shared with the listeners, which the popup keeps after this function returns.
  struct Progress {
    std::shared_ptr<TiloLightPopupAd> ad;
    std::optional<TiloError> loadError;
    std::optional<double> shownAt, closedAt, dismissedAt;
  };
  auto progress = std::make_shared<Progress>();

  auto loader = TiloLightPopupAdLoader::create(TiloAdUnit{item.tiloAdUnitId, std::nullopt});
  loader->registerPlugin(plugin_);
  auto& listener = *loader->listener();
  listener.onAdLoadSuccess = [this, progress](std::shared_ptr<TiloLightPopupAd> ad,
                                              std::optional<TiloAdInfo> info) {
    progress->ad = std::move(ad);
    hostCallback("onAdLoadSuccess", describe(info));
  };
  listener.onAdLoadFail = [this, progress](const TiloError& error) {
    progress->loadError = error;
    hostCallback("onAdLoadFail", error.debugDescription());
  };
  listener.onAdImpression = [this](auto info) { hostCallback("onAdImpression", describe(info)); };
  listener.onAdClicked = [this](auto info) { hostCallback("onAdClicked", describe(info)); };
  loader->loadAd();
  loop_->runUntil([&] { return progress->ad || progress->loadError; },
                  script.delayMs / 1000 + kStepLimit);
  if (progress->loadError) {
    if (!script.fill) {
      out_ << "  lightPopup: no ad, as scripted\n";
      return true;
    }
    out_ << "  error: " << progress->loadError->debugDescription() << "\n";
    return false;
  }
  if (!progress->ad) {
    out_ << "  error: no load result within " << kStepLimit << " s\n";
    return false;
  }
  if (!script.fill) {
    out_ << "  error: the scenario scripts an error, but an ad was delivered\n";
    return false;
  }

  // The host's screen in the demo window; the popup comes over it.
  auto window = makeWindow();
  auto host = platform::UIViewController::create("tilo-demo");
  window->setRootViewController(host);
  host->view()->setBackgroundColor(platform::UIColor::systemBackgroundColor());
  const auto popup = progress->ad->lightPopupVC();
  auto& display = *progress->ad->lightPopupAdListener();
  std::weak_ptr<Progress> weak = progress;
  display.onShown = [this, weak](auto info) {
    auto progress = weak.lock();
    if (progress) progress->shownAt = elapsed();
    hostCallback("onShown", describe(info) + " at " + seconds(elapsed(), 3) + " s");
  };
  display.onDismiss = [this, weak](auto info) {
    auto progress = weak.lock();
    if (progress) progress->dismissedAt = elapsed();
    hostCallback("onDismiss", describe(info) + " at " + seconds(elapsed(), 3) + " s");
  };
  display.onFailedToShow = [this](auto, const TiloError& error) {
    hostCallback("onFailedToShow", error.debugDescription());
  };
  out_ << "  show\n";
  progress->ad->show(host);

  const bool expectRevenue = static_cast<bool>(script.revenue);
  loop_->runUntil(
      [&] {
        return progress->shownAt && observed_.callbacks.count("onAdImpression") &&
               (!script.click || observed_.callbacks.count("onAdClicked")) &&
               (!expectRevenue || !observed_.revenueEvents.empty());
      },
      kStepLimit);
  bool ok = true;
  if (!progress->shownAt) {
    out_ << "  error: not shown within " << kStepLimit << " s\n";
    return false;
  }
  ok = checkEngagement(script) && ok;
  if (expectRevenue) ok = checkRevenue(item, script) && ok;
  if (options_.snapshots) ok = writeSnapshots(DemoFormat::lightPopup, *window) && ok;

  // Left to the popup's own timer: closing drops the timer, so the moment it is gone is
  // the moment the popup closed itself.
  auto wait = [this](const std::function<bool()>& done, double limit) {
    return skippingIdle_ ? skippingIdle_->runUntilSkippingIdle(done, limit)
                         : loop_->runUntil(done, limit);
  };
  const double delay = TiloLightPopupViewController::dismissDelay;
  if (wait([&] { return !popup->dismissTimer() || progress->dismissedAt; }, delay + kStepLimit)) {
    progress->closedAt = elapsed();
  }
  wait([&] { return progress->dismissedAt.has_value(); }, kStepLimit);
  if (!progress->closedAt || !progress->dismissedAt) {
    out_ << "  error: the popup did not close within " << delay + kStepLimit
         << " s after onShown\n";
    return false;
  }
  const double after = *progress->closedAt - *progress->shownAt;
  out_ << "  lightPopup closed by its timer " << seconds(after, 1) << " s after onShown\n";
  // Late is a busy machine; early is a broken timer.
  if (after < delay - 0.05) {
    out_ << "  error: closed before its " << delay << " s\n";
    ok = false;
  }
  if (ok) out_ << "  lightPopup: ok\n";
  return ok;
}

template <class Loader, class Show>
bool DemoApp::runFullScreen(DemoFormat format, const TiloAdUnitItem& item, Show show) {
  using Ad = std::remove_reference_t<decltype(*std::declval<Loader>().ad())>;
  const mediation::AdScript script =
      mediation::AdSource::shared().scriptFor(item.mediationAdUnitId);
  observed_ = {};
  auto loaded = std::make_shared<std::shared_ptr<Ad>>();
  auto loadError = std::make_shared<std::optional<TiloError>>();

  auto loader = Loader::create(TiloAdUnit{item.tiloAdUnitId, std::nullopt});
  loader->registerPlugin(plugin_);
  auto& listener = *loader->listener();
  listener.onAdLoadSuccess = [this, loaded](std::shared_ptr<Ad> ad,
                                            std::optional<TiloAdInfo> info) {
    *loaded = ad;
    hostCallback("onAdLoadSuccess", describe(info));
  };
  listener.onAdLoadFail = [this, loadError](const TiloError& error) {
    *loadError = error;
    hostCallback("onAdLoadFail", error.debugDescription());
  };
  listener.onAdImpression = [this](auto info) { hostCallback("onAdImpression", describe(info)); };
  listener.onAdClicked = [this](auto info) { hostCallback("onAdClicked", describe(info)); };
  loader->load();
  loop_->runUntil([&] { return *loaded || *loadError; }, script.delayMs / 1000 + kStepLimit);

  if (*loadError) {
    if (!script.fill) {
      out_ << "  " << demoFormatName(format) << ": no ad, as scripted\n";
      return true;
    }
    out_ << "  error: " << (*loadError)->debugDescription() << "\n";
    return false;
  }
  if (!*loaded) {
    out_ << "  error: no load result within " << kStepLimit << " s\n";
    return false;
  }
  if (!script.fill) {
    out_ << "  error: the scenario scripts an error, but an ad was delivered\n";
    return false;
  }
  Ad& ad = **loaded;
  const bool ready = ad.isReady();
  out_ << "  ad info " << describe(ad.adInfo()) << "\n  isReady " << (ready ? "true" : "false")
       << "\n";
  if (!ready) {
    out_ << "  error: the loaded ad is not ready\n";
    return false;
  }

  std::set<std::string> expected;
  if (script.presentError) {
    expected = {"onFailedToShow"};
  } else {
    expected = {"onShown", "onAdImpression", "onDismiss"};
    if (script.click) expected.insert("onAdClicked");
    if (format == DemoFormat::rewarded && script.reward) expected.insert("onEarnedReward");
  }
  const bool expectRevenue = script.revenue && !script.presentError;
  auto complete = [&] {
    for (const auto& name : expected) {
      if (!observed_.callbacks.count(name)) return false;
    }
    return !expectRevenue || !observed_.revenueEvents.empty();
  };
  out_ << "  show\n";
  show(ad);
  loop_->runUntil(complete, script.dismissAfterMs / 1000 + kStepLimit);

  bool ok = true;
  for (const auto& name : expected) {
    if (!observed_.callbacks.count(name)) {
      out_ << "  error: no " << name << " within the time limit\n";
      ok = false;
    }
  }
  if (observed_.callbacks.count("onFailedToShow") && !script.presentError) {
    out_ << "  error: the ad failed to show, though the scenario scripts no present error\n";
    ok = false;
  }
  if (expectRevenue) ok = checkRevenue(item, script) && ok;
  if (ok) out_ << "  " << demoFormatName(format) << ": ok\n";
  return ok;
}

// The impression every shown ad makes, and the click the scenario scripts.
bool DemoApp::checkEngagement(const mediation::AdScript& script) {
  bool ok = true;
  if (!observed_.callbacks.count("onAdImpression")) {
    out_ << "  error: no impression\n";
    ok = false;
  }
  if (script.click && !observed_.callbacks.count("onAdClicked")) {
    out_ << "  error: no click\n";
    ok = false;
  }
  return ok;
}

bool DemoApp::checkRevenue(const TiloAdUnitItem& item, const mediation::AdScript& script) {
  if (observed_.revenueEvents.empty()) {
    out_ << "  error: the plugin received no revenue event\n";
    return false;
  }
  // What the publisher keeps of the scripted revenue after the unit's fee.
  const std::string expected =
      TiloRevenueInfo::fromPlatform(item.feeRate, script.revenue->value,
                                    script.revenue->currencyCode, script.revenue->precision)
          .value.description();
  const Json& revenue = observed_.revenueEvents.front()["revenueInfo"];
  if (!revenue.is_object() || revenue.value("value", "") != expected) {
    out_ << "  error: the plugin's revenue is " << text(revenue) << ", expected value " << expected
         << "\n";
    return false;
  }
  return true;
}

void DemoApp::flushAnalytics() {
  out_ << "\napp enters the background: the SDK saves and uploads its analytics events\n";
  auto logger = AdEventLogger::shared();
  platform::Application::shared().setState(platform::ApplicationState::background);
  // The logger finishes on its own queue: wake the loop now and then to look.
  auto poll = platform::Timer::scheduled(0.02, /*repeats=*/true, [] {});
  if (!loop_->runUntil([&] { return !logger || logger->queuedEvents().empty(); }, kStepLimit)) {
    out_ << "warning: some events are still waiting for the backend; the SDK keeps them in its "
            "encrypted store for the next launch\n";
  }
}

std::optional<Json> DemoApp::storedEvents() {
  if (server_) return platform::parseJson(server_->storedEventsJson());
  auto answer = std::make_shared<std::optional<platform::HttpResult>>();
  platform::HttpRequest request;
  request.url = baseUrl_ + "/dev/events";
  request.timeoutSeconds = kStepLimit;
  platform::HttpClient::shared()->send(request, [answer](platform::HttpResult result) {
    platform::postToMain([answer, result] { *answer = result; });
  });
  loop_->runUntil([&] { return answer->has_value(); }, kStepLimit + 5);
  const auto* response = *answer ? std::get_if<platform::HttpResponse>(&**answer) : nullptr;
  if (!response || response->status != 200) {
    out_ << "the backend offers no event list at " << request.url << "\n";
    return std::nullopt;
  }
  try {
    return platform::parseJson(response->body);
  } catch (const platform::DecodingError& error) {
    out_ << "the event list at " << request.url << " is not JSON: " << error.localizedDescription()
         << "\n";
    return std::nullopt;
  }
}

void DemoApp::printStoredEvents() {
  auto list = storedEvents();
  if (!list || !list->contains("events") || !(*list)["events"].is_array()) return;
  const Json& events = (*list)["events"];
  std::vector<std::pair<std::string, int>> counts;
  for (const Json& event : events) {
    const std::string type = text(event.value("eventType", Json()));
    auto it = std::find_if(counts.begin(), counts.end(), [&](auto& c) { return c.first == type; });
    if (it == counts.end()) {
      counts.emplace_back(type, 1);
    } else {
      ++it->second;
    }
  }
  out_ << "\nthe backend stored " << events.size() << " events:";
  for (std::size_t i = 0; i < counts.size(); ++i) {
    out_ << (i ? ", " : " ") << counts[i].first << " " << counts[i].second;
  }
  out_ << "\n";
  for (const Json& event : events) {
    const Json payload = event.value("payload", Json::object());
    const std::string type = text(event.value("eventType", Json()));
    if (type == "marker_checkpoint") {
      out_ << "  marker_checkpoint  checkpoint " << text(payload.value("checkpoint", Json()))
           << "  metadata " << text(payload.value("metadata", Json())) << "  session "
           << text(event.value("sessionId", Json())) << "\n";
      continue;
    }
    out_ << "  " << type << "  " << text(payload.value("adFormat", Json())) << "  "
         << text(payload.value("adUnitId", Json())) << "  latency "
         << text(payload.value("latency", Json())) << "  network "
         << text(payload.value("adNetwork", Json())) << "\n";
  }
}

double DemoApp::elapsed() const {
  return platform::Environment::current().clock().uptime() - startUptime_;
}

void DemoApp::hostCallback(const std::string& name, const std::string& detail) {
  observed_.callbacks.insert(name);
  out_ << "  " << name << (detail.empty() ? "" : " " + detail) << "\n";
  if (options_.crashAt == name) {
    out_ << "  crashing inside " << name << " (--crash-at)" << std::endl;
    std::abort();
  }
}

std::string DemoApp::describe(const std::optional<TiloAdInfo>& info) {
  if (!info) return "(no ad info)";
  std::ostringstream text;
  text << rawValue(info->adFormat) << " " << info->adUnitId << " latency "
       << (info->latency ? std::to_string(std::llround(*info->latency)) + " ms" : "-")
       << " network " << (info->adNetwork ? "\"" + *info->adNetwork + "\"" : "-");
  return text.str();
}

}  // namespace tilo::demo
