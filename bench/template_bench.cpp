// Time from a light popup's load request to the pixels of the window presenting it, at
// scale 3 (1170 × 2532 pixels), with an ad source that answers at once; and the three
// stages alone (load, first layout of the presented window, render) to show which one
// dominates. Runs on the real main loop against a development backend on loopback.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "Tilo/base/ApiBaseUrl.h"
#include "Tilo/base/KeyCrypto.h"
#include "Tilo/entry/TiloAds.h"
#include "Tilo/views/TiloLightPopupAdLoader.h"
#include "bench/support/BenchSdk.h"
#include "mediation/AdSource.h"
#include "platform/Bundle.h"
#include "platform/FileSystem.h"
#include "platform/Json.h"
#include "platform/MainLoop.h"
#include "platform/PlistValue.h"
#include "platform/ui/UIWindow.h"
#include "platform/ui/ViewRenderer.h"
#include "tools/devserver/DevServer.h"

namespace {

using namespace tilo;

constexpr double kTimeout = 10;

// One initialized SDK with a native unit whose ad has every asset, kept for the run.
using Sdk = bench::LoopbackSdk;

Sdk& sdk() {
  static Sdk instance(
      R"({"adUnits":[{"tiloAdUnitId":"popup-unit","mediationAdUnitId":)"
      R"("gad/popup","name":"P","type":"native"}],"feeRate":0.1})",
      [] {
        auto scenarioError = mediation::AdSource::shared().loadScenario(platform::parseJson(
            R"({"units":{"gad/popup":{"native":{"headline":"Play the new season",)"
            R"("body":"Build, trade and explore with friends.","callToAction":"Install",)"
            R"("icon":true,"media":true}}}})"));
        if (scenarioError) std::abort();
      });
  return instance;
}

struct Host {
  std::shared_ptr<platform::UIWindow> window =
      platform::UIWindow::create({390, 844}, 3, {47, 0, 34, 0});
  std::shared_ptr<platform::UIViewController> game = platform::UIViewController::create("game");
  std::shared_ptr<TiloLightPopupAdLoader> loader =
      TiloLightPopupAdLoader::create(TiloAdUnit{"popup-unit", std::nullopt});
  std::shared_ptr<TiloLightPopupAd> ad;

  Host() {
    window->setRootViewController(game);
    loader->listener()->onAdLoadSuccess = [this](auto loaded, auto) { ad = std::move(loaded); };
  }
  bool load() {
    ad.reset();
    loader->loadAd();
    return platform::MainLoop::shared()->runUntil([&] { return ad != nullptr; }, kTimeout);
  }
  // Without the cross-dissolve, which would only add its fixed 0.3 s.
  bool present() {
    bool shown = false;
    game->presentViewController(ad->lightPopupVC(), false, [&] { shown = true; });
    return platform::MainLoop::shared()->runUntil([&] { return shown; }, kTimeout);
  }
  bool dismiss() {
    bool gone = false;
    game->dismissViewController(false, [&] { gone = true; });
    return platform::MainLoop::shared()->runUntil([&] { return gone; }, kTimeout);
  }
};

void BM_LightPopupLoadToPixels(benchmark::State& state) {
  sdk();
  Host host;
  platform::ViewRenderer renderer;
  for (auto _ : state) {
    if (!host.load() || !host.present()) {
      state.SkipWithError("load or presentation did not finish");
      break;
    }
    benchmark::DoNotOptimize(renderer.render(*host.window).rgba.data());
    state.PauseTiming();
    host.dismiss();
    state.ResumeTiming();
  }
}

void BM_LightPopupLoadOnly(benchmark::State& state) {
  sdk();
  Host host;
  for (auto _ : state) {
    if (!host.load()) {
      state.SkipWithError("load did not finish");
      break;
    }
  }
}

void BM_LightPopupFirstLayout(benchmark::State& state) {
  sdk();
  Host host;
  for (auto _ : state) {
    state.PauseTiming();
    if (!host.load()) {
      state.SkipWithError("load did not finish");
      break;
    }
    host.present();
    state.ResumeTiming();
    host.window->layoutIfNeeded();
    state.PauseTiming();
    host.dismiss();
    state.ResumeTiming();
  }
}

void BM_LightPopupRenderOnly(benchmark::State& state) {
  sdk();
  Host host;
  if (!host.load() || !host.present()) {
    state.SkipWithError("load or presentation did not finish");
    return;
  }
  host.window->layoutIfNeeded();
  platform::ViewRenderer renderer;
  for (auto _ : state) benchmark::DoNotOptimize(renderer.render(*host.window).rgba.data());
}

BENCHMARK(BM_LightPopupLoadToPixels)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LightPopupLoadOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LightPopupFirstLayout)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LightPopupRenderOnly)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
