// What crossing the C ABI costs: tilo_rewarded_ad_is_ready (thread check, handle-table
// lookup, the wrapper's answer) against a plain C function call, and a window rendered to
// RGBA at the demo's 390 × 844 points at scale 3, as an engine would each frame.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "Tilo/base/KeyCrypto.h"
#include "TiloObjCBridge/HandleTable.h"
#include "TiloObjCBridge/TiloObjCWindow.h"
#include "bench/support/BenchSdk.h"
#include "platform/FileSystem.h"
#include "platform/PlistValue.h"
#include "platform/ui/UIColor.h"
#include "platform/ui/UILabel.h"
#include "tilo/tilo.h"

namespace {

using namespace tilo;

struct PlainAd {
  int ready;
};

// The baseline: a call the compiler cannot inline or remove.
extern "C" __attribute__((noinline)) int bench_plain_is_ready(const PlainAd* ad) {
  asm volatile("" ::: "memory");
  return ad ? ad->ready : -1;
}

// A bundle the SDK can be built from; no backend is needed to create ads.
void prepareSdk() {
  static bool done = [] {
    const auto bundle = bench::makeTempDir(), container = bench::makeTempDir();
    bench::writeBundle(bundle);
    tilo_set_bundle_directory(bundle.c_str());
    tilo_set_application_container(container.c_str());
    tilo_set_development_base_url("http://127.0.0.1:1");
    return true;
  }();
  (void)done;
}

void BM_PlainCCall(benchmark::State& state) {
  PlainAd ad{0};
  const PlainAd* volatile pointer = &ad;
  for (auto _ : state) benchmark::DoNotOptimize(bench_plain_is_ready(pointer));
}
BENCHMARK(BM_PlainCCall);

void BM_TiloRewardedAdIsReady(benchmark::State& state) {
  prepareSdk();
  tilo_rewarded_ad* ad = tilo_rewarded_ad_create("bench-unit");
  if (!ad) return state.SkipWithError(tilo_status_name(tilo_last_status()));
  for (auto _ : state) benchmark::DoNotOptimize(tilo_rewarded_ad_is_ready(ad));
  tilo_rewarded_ad_destroy(ad);
}
BENCHMARK(BM_TiloRewardedAdIsReady);

// A stale handle is refused on the same path, without touching any object.
void BM_TiloStaleHandle(benchmark::State& state) {
  prepareSdk();
  tilo_rewarded_ad* ad = tilo_rewarded_ad_create("bench-unit");
  tilo_rewarded_ad_destroy(ad);
  for (auto _ : state) benchmark::DoNotOptimize(tilo_rewarded_ad_is_ready(ad));
}
BENCHMARK(BM_TiloStaleHandle);

// The window with a game-like screen: a background, a card with rounded corners and text.
void BM_WindowRenderRGBA_390x844x3(benchmark::State& state) {
  tilo_window* window = tilo_window_create(390, 844, 3);
  tilo_window_set_safe_area_insets(window, 47, 0, 34, 0);
  auto object = std::static_pointer_cast<bridge::TiloObjCWindow>(
      bridge::HandleTable::shared().find(window, bridge::HandleType::window).object);
  auto root = object->rootViewController()->view();
  root->setBackgroundColor(platform::UIColor(0.1, 0.2, 0.3, 1));
  auto card = platform::UIView::create({20, 600, 350, 180});
  card->setBackgroundColor(platform::UIColor(1, 1, 1, 1));
  card->layer().setCornerRadius(16);
  auto label = platform::UILabel::create();
  label->setFrame({16, 16, 318, 40});
  label->setText("Watch an ad for 10 coins");
  card->addSubview(label);
  root->addSubview(card);
  int width = 0, height = 0;
  tilo_window_pixel_size(window, &width, &height);
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4);
  for (auto _ : state) {
    if (tilo_window_render_rgba(window, pixels.data(), static_cast<std::size_t>(width) * 4) !=
        TILO_STATUS_OK) {
      return state.SkipWithError("render failed");
    }
    benchmark::DoNotOptimize(pixels.data());
  }
  tilo_window_destroy(window);
}
BENCHMARK(BM_WindowRenderRGBA_390x844x3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
