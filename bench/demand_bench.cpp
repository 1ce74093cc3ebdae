// Real demand's cost, against an exchange on loopback in this process:
//
//   BidRoundTrip       one banner's demand: the bid request built and sent, a 10 KB answer
//                      received, decoded and delivered to the main thread (the banner's
//                      drawing not included). Reported as the CPU time of the
//                      SDK's own threads (main, tilo-http, tilo-pool-N, read from
//                      /proc/self/task/*/schedstat), so the in-process server's does not
//                      count (target: at most 200 us per load).
//   NativeFirstPixels  from the moment the exchange hands over its answer to the first
//                      pixels of the native ad drawn with its two pictures (downloaded
//                      from the same server), in wall time (target: at most 15 ms).
#include <benchmark/benchmark.h>
#include <httplib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "mediation/AdSource.h"
#include "mediation/EmbeddedCreatives.h"
#include "mediation/GADAdLoader.h"
#include "mediation/NativeBannerContentView.h"
#include "mediation/TestCreatives.h"
#include "mediation/demand/BidRequestBuilder.h"
#include "mediation/demand/BidResponseDecoder.h"
#include "mediation/demand/Demand.h"
#include "mediation/demand/OpenRtbSource.h"
#include "platform/Json.h"
#include "platform/MainLoop.h"
#include "platform/ui/ViewRenderer.h"

namespace {

using namespace tilo;
using platform::Json;
using Clock = std::chrono::steady_clock;

constexpr double kTimeout = 10;

std::string embedded(const char* name) {
  for (std::size_t i = 0; i < mediation::kEmbeddedCreativeFileCount; ++i) {
    const auto& file = mediation::kEmbeddedCreativeFiles[i];
    if (std::string(file.name) == name)
      return {reinterpret_cast<const char*>(file.data), file.size};
  }
  std::abort();
}

// An exchange that answers every request with one bid: ~10 KB for the banner (an
// exchange's usual extensions included), the native ad's with its two pictures.
class Exchange {
 public:
  Exchange() {
    server_.Post("/auction", [this](const httplib::Request& req, httplib::Response& res) {
      const Json request = Json::parse(req.body);
      const bool native = request["imp"][0]["instl"] == 0 &&
                          request["imp"][0]["native"]["request"].get<std::string>().find(
                              "\"plcmttype\":1") != std::string::npos;
      Json assets = Json::array({{{"id", 1}, {"title", {{"text", "Sky Harbor"}}}},
                                 {{"id", 4}, {"data", {{"value", "Sail your airship."}}}},
                                 {{"id", 5}, {"data", {{"value", "Install"}}}}});
      if (native) {
        assets.push_back(
            {{"id", 2}, {"img", {{"url", base_ + "/media.png"}, {"w", 480}, {"h", 270}}}});
        assets.push_back(
            {{"id", 3}, {"img", {{"url", base_ + "/icon.png"}, {"w", 128}, {"h", 128}}}});
      }
      const Json ad{{"ver", "1.2"}, {"assets", assets}, {"link", {{"url", "https://example.com"}}}};
      Json bid{{"id", "b1"},   {"impid", "1"},
               {"price", 2.5}, {"adm", platform::dumpCompact(ad)},
               {"crid", "c1"}, {"adomain", {"example.com"}}};
      Json answer{{"id", request["id"]},
                  {"cur", "USD"},
                  {"seatbid", {{{"seat", "bench"}, {"bid", {bid}}}}}};
      // What exchanges add and the SDK skips: the debug and extension blocks.
      answer["ext"] = {{"debug", std::string(native ? 0 : 9000, 'x')}};
      res.set_content(platform::dumpCompact(answer), "application/json");
      answered_ = Clock::now();
    });
    server_.Get("/media.png", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(embedded("harbor-media.png"), "image/png");
    });
    server_.Get("/icon.png", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(embedded("harbor-icon.png"), "image/png");
    });
    server_.set_tcp_nodelay(true);  // as an exchange's front would: no 40 ms Nagle stalls
    const int port = server_.bind_to_any_port("127.0.0.1");
    base_ = "http://127.0.0.1:" + std::to_string(port);
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::yield();
  }
  ~Exchange() {
    server_.stop();
    thread_.join();
  }
  std::string url() const { return base_ + "/auction"; }
  Clock::time_point answered() const { return answered_; }

 private:
  httplib::Server server_;
  std::string base_;
  std::thread thread_;
  std::atomic<Clock::time_point> answered_{};
};

Exchange& exchange() {
  static Exchange instance;
  static bool configured = [] {
    mediation::AdSource::shared().reset();
    return mediation::demand::Demand::setDemandUrl(instance.url());
  }();
  if (!configured) std::abort();
  return instance;
}

// Nanoseconds the SDK's threads ran: this (main) thread, tilo-http and the pool.
double sdkThreadNanoseconds() {
  double total = 0;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream comm(task.path() / "comm");
    std::string name;
    std::getline(comm, name);
    const bool sdk =
        name.rfind("tilo-", 0) == 0 || task.path().filename() == std::to_string(getpid());
    if (!sdk) continue;
    std::ifstream schedstat(task.path() / "schedstat");
    double ran = 0;
    schedstat >> ran;
    total += ran;
  }
  return total;
}

double bidRoundTripMicroseconds = 0, firstPixelsMilliseconds = 0;

// The two halves of the SDK's own work, apart from the transport.
void BM_BuildRequest(benchmark::State& state) {
  const mediation::demand::DemandRequest request{"banner", "gad/banner", nullptr,
                                                 std::pair{320, 50}};
  for (auto _ : state) {
    const auto facts =
        mediation::demand::OpenRtbSource::currentFacts(request, "http://127.0.0.1:1/a");
    benchmark::DoNotOptimize(mediation::demand::BidRequestBuilder::build(facts));
  }
}
BENCHMARK(BM_BuildRequest)->Unit(benchmark::kMicrosecond);

void BM_DecodeAnswer(benchmark::State& state) {
  const Json ad{{"ver", "1.2"},
                {"assets", {{{"id", 1}, {"title", {{"text", "Sky Harbor"}}}}}},
                {"link", {{"url", "https://example.com"}}}};
  Json answer{
      {"id", "req"},
      {"seatbid",
       {{{"seat", "bench"},
         {"bid",
          {{{"id", "b1"}, {"impid", "1"}, {"price", 2.5}, {"adm", platform::dumpCompact(ad)}}}}}}},
      {"ext", {{"debug", std::string(9800, 'x')}}}};
  const std::string body = platform::dumpCompact(answer);
  const mediation::demand::BidExpectation expected{
      "req", mediation::demand::NativeRequestShape::forFormat("banner", std::pair{320, 50})};
  for (auto _ : state) {
    benchmark::DoNotOptimize(mediation::demand::BidResponseDecoder::decode(body, expected));
  }
  state.counters["bytes"] = static_cast<double>(body.size());
}
BENCHMARK(BM_DecodeAnswer)->Unit(benchmark::kMicrosecond);

void BM_BidRoundTrip(benchmark::State& state) {
  exchange();
  auto loop = platform::MainLoop::shared();
  int received = 0;
  const mediation::demand::DemandRequest request{
      "banner", "gad/banner", mediation::GADRequest::create(), std::pair{320, 50}};
  // The SDK's threads over the whole run, read outside the timed loads.
  const double before = sdkThreadNanoseconds();
  for (auto _ : state) {
    mediation::demand::Demand::load(request, [&](const mediation::AdScript& answer) {
      if (!answer.fill) {
        std::fprintf(stderr, "load failed: %s\n", answer.error.localizedDescription.c_str());
        std::abort();
      }
      ++received;
    });
    if (!loop->runUntil([&] { return received == 1; }, kTimeout)) std::abort();
    received = 0;
  }
  const double nanoseconds = sdkThreadNanoseconds() - before;
  bidRoundTripMicroseconds = nanoseconds / 1000 / static_cast<double>(state.iterations());
  state.counters["sdk_cpu_us"] = bidRoundTripMicroseconds;
}
BENCHMARK(BM_BidRoundTrip)->Iterations(300)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_NativeFirstPixels(benchmark::State& state) {
  exchange();
  auto loop = platform::MainLoop::shared();
  std::vector<std::uint8_t> pixels(300 * 250 * 4);
  platform::ViewRenderer renderer;
  std::vector<double> samples;
  struct Delegate : mediation::GADAdLoaderDelegate {
    std::shared_ptr<mediation::GADNativeAd> ad;
    void adLoaderDidReceiveNativeAd(mediation::GADAdLoader&,
                                    std::shared_ptr<mediation::GADNativeAd> received) override {
      ad = std::move(received);
    }
    void adLoaderDidFailToReceiveAdWithError(mediation::GADAdLoader&,
                                             const mediation::NSError& error) override {
      std::fprintf(stderr, "load failed: %s\n", error.localizedDescription.c_str());
      std::abort();
    }
  };
  for (auto _ : state) {
    auto delegate = std::make_shared<Delegate>();
    auto loader = mediation::GADAdLoader::create("gad/native", nullptr,
                                                 {mediation::GADAdLoaderAdType::native}, {});
    loader->setDelegate(delegate);
    loader->loadRequest(mediation::GADRequest::create());
    if (!loop->runUntil([&] { return delegate->ad != nullptr; }, kTimeout)) std::abort();
    // The ad's assets drawn: its picture, icon, title and call to action.
    const auto& ad = *delegate->ad;
    mediation::Creative creative{ad.headline(),
                                 ad.body(),
                                 ad.advertiser(),
                                 ad.callToAction(),
                                 ad.icon() ? ad.icon()->image : nullptr,
                                 ad.mediaContent() ? ad.mediaContent()->mainImage() : nullptr,
                                 std::nullopt};
    auto view = mediation::NativeBannerContentView::create(std::move(creative));
    view->setFrame({0, 0, 300, 250});
    renderer.renderRGBA(*view, pixels.data(), 300, 250, 300 * 4,
                        platform::AlphaMode::premultiplied);
    samples.push_back(
        std::chrono::duration<double, std::milli>(Clock::now() - exchange().answered()).count());
  }
  std::sort(samples.begin(), samples.end());
  firstPixelsMilliseconds = samples[samples.size() / 2];
  state.counters["median_ms"] = firstPixelsMilliseconds;
}
BENCHMARK(BM_NativeFirstPixels)->Iterations(50)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  std::printf(
      "bid request built and sent, 10 KB answer decoded: %.1f us of SDK CPU per load "
      "(target: at most 200 us)\n",
      bidRoundTripMicroseconds);
  std::printf(
      "native ad from answer to first pixels with its two pictures: %.2f ms median "
      "(target: at most 15 ms)\n",
      firstPixelsMilliseconds);
  benchmark::Shutdown();
  return 0;
}
