// Banners: what the SDK adds to one banner load, and what a banner on screen costs the
// main thread per refresh.
//
// BM_BannerLoadOverhead: a TiloAdBannerView in a window, its unit resolved, asked to
// loadAd() until onAdLoadSuccess, against a bare GADBannerView in the same window asked
// to loadRequest() until its delegate hears bannerViewDidReceiveAd. The ad source answers
// at once. The two alternate within each iteration on the real main loop, so both see the
// same machine load; the difference is the SDK's overhead per load (target: under 1 ms).
//
// BM_BannerRefreshHour: one banner on screen for a simulated hour with a 30 s refresh
// interval, on mock time. Every task is timed in thread CPU time, main-thread and
// background apart (on mock time both run on the bench thread), without the mock queue's
// own bookkeeping; the cost per refresh is the main-thread time over the refreshes done
// (target: under 1 ms).
//
// BM_BannerResidentTenMinutes: one banner on screen refreshing every 30 s for ten minutes
// of mock time, published after every refresh at scale 3 (the banner view's own retained
// frame, as an engine's texture of it; the same creative redraws nothing). Resident memory (VmRSS)
// and the heap in use (mallinfo2) are sampled before the banner exists, at minute 2 and at
// minute 10. Target: what the banner adds at minute 10 at most 12 MB, and flat: no growth from
// minute 2 to minute 10 (within 256 KB, the allocator's own slack).
//
// All check their run (every load filled, every ad seen, the refresh count) and report
// an error instead of numbers when it went wrong.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "Tilo/backend/NetworkClient.h"
#include "Tilo/base/ApiBaseUrl.h"
#include "Tilo/base/KeyCrypto.h"
#include "Tilo/entry/TiloAds.h"
#include "Tilo/views/TiloAdBannerView.h"
#include "bench/support/BenchSdk.h"
#include "mediation/AdSource.h"
#include "mediation/GADBannerView.h"
#include "platform/AppContainer.h"
#include "platform/Application.h"
#include "platform/Bundle.h"
#include "platform/FileSystem.h"
#include "platform/MainLoop.h"
#include "platform/PlistValue.h"
#include "platform/TestEnvironment.h"
#include "platform/ui/NSLayoutConstraint.h"
#include "platform/ui/RetainedRenderer.h"
#include "platform/ui/UIWindow.h"
#include "tools/devserver/DevServer.h"

namespace {

using namespace tilo;

constexpr double kTimeout = 10;
constexpr double kRefreshInterval = 30;
constexpr double kHour = 3600;
constexpr const char* kUnit = "bench-banner";
constexpr const char* kMediationUnit = "gad/bench-banner";

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "banner bench setup failed: %s\n", what);
  std::abort();
}

double threadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Mock time whose tasks are timed. Wraps a TestEnvironment (which installs itself first,
// then this replaces it) and times each task it runs; a task run inline from inside
// another (a synchronous queue drained on mock time) counts once, in the outer one.
class TimedEnvironment final : public platform::Environment {
 public:
  struct Totals {
    double mainSeconds = 0, backgroundSeconds = 0;
    long mainTasks = 0, backgroundTasks = 0;
    int depth = 0;
  };

  TimedEnvironment()
      : main_(std::make_shared<TimedExecutor>(inner_.mainExecutor(), totals_, true)),
        background_(std::make_shared<TimedExecutor>(
            inner_.backgroundExecutor(platform::TaskPriority::userInitiated), totals_, false)) {
    install(this);
  }
  ~TimedEnvironment() override { uninstall(this); }

  platform::Clock& clock() override { return inner_.clock(); }
  std::shared_ptr<platform::Executor> mainExecutor() override { return main_; }
  std::shared_ptr<platform::Executor> backgroundExecutor(platform::TaskPriority) override {
    return background_;
  }
  bool isMainThread() const override { return inner_.isMainThread(); }

  platform::TestEnvironment& inner() { return inner_; }
  Totals totals() const { return *totals_; }

 private:
  class TimedExecutor final : public platform::Executor {
   public:
    TimedExecutor(std::shared_ptr<platform::Executor> inner, std::shared_ptr<Totals> totals,
                  bool onMain)
        : inner_(std::move(inner)), totals_(std::move(totals)), onMain_(onMain) {}
    void post(platform::Task task) override { inner_->post(wrap(std::move(task))); }
    void postDelayed(platform::Task task, double seconds) override {
      inner_->postDelayed(wrap(std::move(task)), seconds);
    }

   private:
    platform::Task wrap(platform::Task task) {
      return [totals = totals_, onMain = onMain_, task = std::move(task)] {
        struct Depth {
          Totals& totals;
          ~Depth() { --totals.depth; }
        } depth{*totals};
        if (totals->depth++ > 0) {
          task();
          return;
        }
        const double start = threadCpuSeconds();
        struct Charge {
          Totals& totals;
          bool onMain;
          double start;
          ~Charge() {
            const double spent = threadCpuSeconds() - start;
            (onMain ? totals.mainSeconds : totals.backgroundSeconds) += spent;
            ++(onMain ? totals.mainTasks : totals.backgroundTasks);
          }
        } charge{*totals, onMain, start};
        task();
      };
    }
    std::shared_ptr<platform::Executor> inner_;
    std::shared_ptr<Totals> totals_;
    bool onMain_;
  };

  platform::TestEnvironment inner_;
  std::shared_ptr<Totals> totals_ = std::make_shared<Totals>();
  std::shared_ptr<platform::Executor> main_, background_;
};

// A freshly initialized SDK with one banner unit, on the real main loop or on mock time:
// a bundle, a container and a development backend on loopback, for one benchmark run.
class Session {
 public:
  explicit Session(bool mockTime) {
    if (mockTime) mock_ = std::make_unique<TimedEnvironment>();
    bench::writeBundle(bundle_);
    devserver::DevServerOptions options;
    options.appKey = bench::kAppKey;
    options.appInfoJson =
        std::string(R"({"adUnits":[{"tiloAdUnitId":")") + kUnit + R"(","mediationAdUnitId":")" +
        kMediationUnit + R"(","name":"B","type":"banner","refreshInterval":)" +
        std::to_string(static_cast<int>(kRefreshInterval)) + R"(}],"feeRate":0.1})";
    std::string error;
    server_ = devserver::DevServer::start(options, &error);
    if (!server_) fail(error.c_str());
    platform::Bundle::setMainBundleDirectory(bundle_);
    platform::AppContainer::setPath(container_);
    setApiBaseUrlOverride(server_->baseUrl());
    TiloAds::resetSharedForTesting();
    platform::Application::shared().resetForTesting();
    mediation::AdSource::shared().reset();  // every unit fills at once
    std::optional<std::optional<TiloError>> done;
    TiloAds::shared()->initialized([&](std::optional<TiloError> failure) { done = failure; });
    if (!drive([&] { return done.has_value(); }, kTimeout) || *done) fail("SDK did not initialize");
  }

  ~Session() {
    // An upload still in flight would outlive the SDK it belongs to.
    drive([] { return NetworkClient::requestsInFlight() == 0; }, kTimeout);
    TiloAds::resetSharedForTesting();
    server_->stop();
    setApiBaseUrlOverride(std::nullopt);
    platform::Bundle::setMainBundleDirectory(std::nullopt);
    platform::AppContainer::setPath(std::nullopt);
    mock_.reset();
    std::filesystem::remove_all(bundle_);
    std::filesystem::remove_all(container_);
  }

  // Runs work until `done` holds or `seconds` pass: real seconds on the main loop; on mock
  // time, mock seconds fast-forwarded from one due task to the next, waiting in real time
  // while a request to the backend is in flight so mock time never overtakes its answer.
  bool drive(const std::function<bool()>& done, double seconds) {
    if (!mock_) return platform::MainLoop::shared()->runUntil(done, seconds);
    auto& env = mock_->inner();
    const double deadline = env.clock().uptime() + seconds;
    for (;;) {
      env.runUntilIdle();
      if (done()) return true;
      if (NetworkClient::requestsInFlight() > 0) {
        if (!env.runUntil([] { return NetworkClient::requestsInFlight() == 0; }, kTimeout)) {
          return done();
        }
        continue;
      }
      const auto next = env.nextDelay();
      const double now = env.clock().uptime();
      if (!next || now + *next > deadline) {
        env.advance(deadline - now);
        return done();
      }
      env.advance(*next);
    }
  }

  TimedEnvironment& mock() { return *mock_; }

 private:
  std::unique_ptr<TimedEnvironment> mock_;
  std::filesystem::path bundle_ = bench::makeTempDir(), container_ = bench::makeTempDir();
  std::shared_ptr<devserver::DevServer> server_;
};

// A TiloAdBannerView on screen, counting what its host hears.
struct SdkBanner {
  std::shared_ptr<platform::UIWindow> window = bench::makePhoneWindow();
  std::shared_ptr<TiloAdBannerView> view =
      TiloAdBannerView::create(TiloAdUnit{kUnit}, TiloAdBannerSize::banner, true);
  long successes = 0, failures = 0, impressions = 0;

  SdkBanner() {
    view->listener()->onAdLoadSuccess = [this](auto, auto) { ++successes; };
    view->listener()->onAdLoadFail = [this](auto) { ++failures; };
    view->listener()->onAdImpression = [this](auto) { ++impressions; };
    bench::placeAtBottom(window, view);
  }
  ~SdkBanner() { view->removeFromSuperview(); }
  SdkBanner(const SdkBanner&) = delete;
  SdkBanner& operator=(const SdkBanner&) = delete;
};

// The platform banner view alone, with a delegate that counts.
struct DirectBanner : mediation::GADBannerViewDelegate {
  std::shared_ptr<platform::UIWindow> window = bench::makePhoneWindow();
  std::shared_ptr<mediation::GADBannerView> view = mediation::GADBannerView::create();
  long received = 0, failures = 0, impressions = 0;

  void bannerViewDidReceiveAd(mediation::GADBannerView&) override { ++received; }
  void bannerViewDidFailToReceiveAdWithError(mediation::GADBannerView&,
                                             const mediation::NSError&) override {
    ++failures;
  }
  void bannerViewDidRecordImpression(mediation::GADBannerView&) override { ++impressions; }

  // Made through create(): the view holds its delegate weakly.
  static std::shared_ptr<DirectBanner> create() {
    auto banner = std::make_shared<DirectBanner>();
    banner->view->setAdSize(mediation::GADAdSizeFromCGSize({320, 50}));
    banner->view->setAdUnitID(kMediationUnit);
    banner->view->setDelegate(banner);
    bench::placeAtBottom(banner->window, banner->view);
    return banner;
  }
  ~DirectBanner() override { view->removeFromSuperview(); }
};

std::size_t loadsOf(const std::string& mediationUnit) {
  return mediation::AdSource::shared().loadCount(mediationUnit);
}

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_BannerLoadOverhead(benchmark::State& state) {
  Session session(false);
  SdkBanner sdk;
  auto direct = DirectBanner::create();
  // The first SDK load resolves the unit and configures the loader: not part of a load.
  if (!session.drive([&] { return sdk.successes + sdk.failures > 0; }, kTimeout) ||
      sdk.successes != 1) {
    state.SkipWithError("the banner's first load did not fill");
    return;
  }
  std::vector<double> sdkSeconds, directSeconds;
  for (auto _ : state) {
    const long expectedSdk = sdk.successes + 1, expectedDirect = direct->received + 1;
    auto start = std::chrono::steady_clock::now();
    sdk.view->loadAd();
    if (!session.drive([&] { return sdk.successes == expectedSdk || sdk.failures > 0; },
                       kTimeout) ||
        sdk.failures > 0) {
      state.SkipWithError("a banner load through the SDK did not fill");
      return;
    }
    sdkSeconds.push_back(secondsSince(start));
    start = std::chrono::steady_clock::now();
    direct->view->loadRequest(mediation::GADRequest::create());
    if (!session.drive([&] { return direct->received == expectedDirect || direct->failures > 0; },
                       kTimeout) ||
        direct->failures > 0) {
      state.SkipWithError("a direct banner load did not fill");
      return;
    }
    directSeconds.push_back(secondsSince(start));
  }
  // Both sides must have shown every ad they loaded, or they did not do the same work.
  session.drive([&] { return sdk.impressions == sdk.successes; }, kTimeout);
  session.drive([&] { return direct->impressions == direct->received; }, kTimeout);
  if (sdk.impressions != sdk.successes || direct->impressions != direct->received) {
    state.SkipWithError("a loaded banner was not seen");
    return;
  }
  if (sdkSeconds.empty()) return;
  auto meanMicros = [](const std::vector<double>& v) {
    double sum = 0;
    for (double s : v) sum += s;
    return sum / static_cast<double>(v.size()) * 1e6;
  };
  auto medianMicros = [](std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
    return v[v.size() / 2] * 1e6;
  };
  std::vector<double> differences(sdkSeconds.size());
  for (std::size_t i = 0; i < sdkSeconds.size(); ++i) {
    differences[i] = sdkSeconds[i] - directSeconds[i];
  }
  state.counters["sdk_us"] = meanMicros(sdkSeconds);
  state.counters["direct_us"] = meanMicros(directSeconds);
  state.counters["overhead_us"] = meanMicros(sdkSeconds) - meanMicros(directSeconds);
  state.counters["overhead_median_us"] = medianMicros(differences);
}

void BM_BannerRefreshHour(benchmark::State& state) {
  Session session(true);
  SdkBanner banner;
  if (!session.drive([&] { return banner.impressions > 0 || banner.failures > 0; }, kTimeout) ||
      banner.successes != 1 || banner.impressions != 1) {
    state.SkipWithError("the banner's first load did not fill and show");
    return;
  }
  const long expected = static_cast<long>(std::floor(kHour / kRefreshInterval));
  long refreshes = 0;
  double mainSeconds = 0, backgroundSeconds = 0, threadSeconds = 0;
  long mainTasks = 0;
  for (auto _ : state) {
    const auto before = session.mock().totals();
    const std::size_t loadsBefore = loadsOf(kMediationUnit);
    const long successesBefore = banner.successes, impressionsBefore = banner.impressions;
    const double cpuBefore = threadCpuSeconds();
    session.drive([] { return false; }, kHour);
    const double cpuAfter = threadCpuSeconds();
    const auto after = session.mock().totals();
    const long loads = static_cast<long>(loadsOf(kMediationUnit) - loadsBefore);
    // Every refresh a load, every load a fill the host heard of and an ad that was seen.
    if (banner.failures > 0 || std::abs(loads - expected) > 1 ||
        banner.successes - successesBefore != loads ||
        banner.impressions - impressionsBefore != loads) {
      std::fprintf(stderr,
                   "refreshes %ld (expected %ld), successes %ld, impressions %ld, "
                   "failures %ld\n",
                   loads, expected, banner.successes - successesBefore,
                   banner.impressions - impressionsBefore, banner.failures);
      state.SkipWithError("the banner did not refresh every interval");
      return;
    }
    refreshes += loads;
    mainSeconds += after.mainSeconds - before.mainSeconds;
    backgroundSeconds += after.backgroundSeconds - before.backgroundSeconds;
    mainTasks += after.mainTasks - before.mainTasks;
    threadSeconds += cpuAfter - cpuBefore;
  }
  const double perRefresh = 1e6 / static_cast<double>(refreshes);
  state.counters["refreshes_per_hour"] =
      static_cast<double>(refreshes) / static_cast<double>(state.iterations());
  state.counters["main_us_per_refresh"] = mainSeconds * perRefresh;
  state.counters["background_us_per_refresh"] = backgroundSeconds * perRefresh;
  state.counters["thread_us_per_refresh"] = threadSeconds * perRefresh;
  state.counters["main_tasks_per_refresh"] = static_cast<double>(mainTasks) / refreshes;
}

double residentMegabytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024;  // kB
  }
  return 0;
}

double heapMegabytes() {
  const struct mallinfo2 info = mallinfo2();
  return static_cast<double>(info.uordblks + info.hblkhd) / (1024 * 1024);
}

void BM_BannerResidentTenMinutes(benchmark::State& state) {
  constexpr double kTargetMegabytes = 12, kFlatMegabytes = 0.25;
  for (auto _ : state) {
    Session session(true);
    malloc_trim(0);
    const double residentBefore = residentMegabytes(), heapBefore = heapMegabytes();
    double resident2 = 0, heap2 = 0;
    {
      SdkBanner banner;
      platform::RetainedRenderer renderer;
      long drawn = 0;
      for (int step = 1; step <= 20; ++step) {  // 20 x 30 s
        session.drive([] { return false; }, kRefreshInterval);
        if (!renderer.publish(*banner.view, 3).isEmpty()) ++drawn;
        if (step == 4) {
          resident2 = residentMegabytes();
          heap2 = heapMegabytes();
        }
      }
      const double resident10 = residentMegabytes(), heap10 = heapMegabytes();
      if (banner.failures > 0 || banner.impressions < 19 || drawn < 1) {
        std::fprintf(stderr, "impressions %ld, failures %ld, frames drawn %ld\n",
                     banner.impressions, banner.failures, drawn);
        state.SkipWithError("the banner did not refresh every 30 s and draw");
        return;
      }
      const double added = resident10 - residentBefore;
      const double growth = resident10 - resident2;
      state.counters["added_rss_mb"] = added;
      state.counters["rss_growth_2_to_10_mb"] = growth;
      state.counters["added_heap_mb"] = heap10 - heapBefore;
      state.counters["heap_growth_2_to_10_mb"] = heap10 - heap2;
      state.counters["process_rss_mb"] = resident10;
      std::printf(
          "banner, 10 min at 30 s: +%.2f MB resident (target <= %.0f MB: %s), minute 2 to 10 "
          "%+.2f MB resident, %+.3f MB heap (target flat, within %.2f MB: %s)\n",
          added, kTargetMegabytes, added <= kTargetMegabytes ? "met" : "not met", growth,
          heap10 - heap2, kFlatMegabytes,
          std::max(growth, heap10 - heap2) <= kFlatMegabytes ? "met" : "not met");
    }
  }
}

BENCHMARK(BM_BannerLoadOverhead)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BannerRefreshHour)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_BannerResidentTenMinutes)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
