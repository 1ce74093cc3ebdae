// tilo-event-host: a minimal host application that real-process tests start and kill with
// SIGKILL. It prints one line per step on standard output, flushed at once, so a test can
// wait for a state instead of a time:
//
//   tilo-event-host --bundle DIR --container DIR --api-base-url URL MODE [options]
//
//   stream [--burst N]                      initializes, logs N impressions at once, then
//                                           one every 300 ms until killed; each
//                                           prints "logged <n> <epoch ms>", its ad unit
//                                           being "seq-<n>"
//   start                                   starts initialization (which reports crashes
//                                           of earlier runs), prints "started" as soon as
//                                           the call returns, and waits to be killed
//   drain [--burst N]                       initializes, logs N impressions (default 0),
//                                           enters the background and exits 0 with
//                                           "drained" once the logger sent all
//   abort-in-impression                     a C host: loads and shows the interstitial
//                                           "interstitial-unit" through the C ABI, prints
//                                           "impression <session>" in its
//                                           did_record_impression callback and aborts
//                                           there
//
// Exits 2 on a usage error, 1 when a step does not finish within a minute.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>

#include "Tilo/entry/TiloAds.h"
#include "Tilo/telemetry/AdEventLogger.h"
#include "Tilo/telemetry/SessionIdentifier.h"
#include "platform/AppContainer.h"
#include "platform/Application.h"
#include "platform/Bundle.h"
#include "platform/MainLoop.h"
#include "platform/Timer.h"
#include "tilo/tilo.h"

namespace {

using namespace tilo;

constexpr double kStepLimit = 60;

void say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

long long epochMillis() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

bool initialize(platform::MainLoop& loop) {
  std::optional<std::optional<TiloError>> result;
  TiloAds::shared()->initialized([&](std::optional<TiloError> error) { result = error; });
  return loop.runUntil([&] { return result.has_value(); }, kStepLimit) && !*result;
}

void logImpression(int n) {
  logEvent(AdLogEventType::adImpression,
           TiloAdInfo{TiloAdFormat::banner, "seq-" + std::to_string(n), std::nullopt, "AdMob"});
}

int stream(platform::MainLoop& loop, int burst) {
  if (!initialize(loop)) return 1;
  for (int n = 1;; ++n) {
    logImpression(n);
    say("logged " + std::to_string(n) + " " + std::to_string(epochMillis()));
    if (n >= burst) loop.runFor(0.3);
  }
}

int drain(platform::MainLoop& loop, int burst) {
  if (!initialize(loop)) return 1;
  for (int n = 1; n <= burst; ++n) logImpression(n);
  platform::Application::shared().setState(platform::ApplicationState::background);
  auto logger = AdEventLogger::shared();
  // The logger finishes on its own queue: wake the loop now and then to look.
  auto poll = platform::Timer::scheduled(0.01, /*repeats=*/true, [] {});
  if (!loop.runUntil([&] { return logger->queuedEvents().empty(); }, kStepLimit)) return 1;
  say("drained");
  return 0;
}

// What a C host's delegate does; the callbacks are plain C function pointers.
void abortingImpression(void*, tilo_interstitial_ad*, const tilo_ad_info*) {
  say("impression " + sessionIdentifier());
  std::abort();
}

int abortInImpression(platform::MainLoop& loop) {
  if (!initialize(loop)) return 1;
  tilo_interstitial_ad_delegate delegate{};
  delegate.size = sizeof delegate;
  delegate.did_load = [](void*, tilo_interstitial_ad* ad, const tilo_ad_info*) {
    tilo_interstitial_ad_show_from(ad, nullptr);
  };
  delegate.did_fail_to_load = [](void*, tilo_interstitial_ad*, const tilo_error* error) {
    say(std::string("load failed: ") + error->message);
    std::exit(1);
  };
  delegate.did_record_impression = abortingImpression;
  tilo_interstitial_ad* ad = tilo_interstitial_ad_create("interstitial-unit");
  if (!ad || tilo_interstitial_ad_set_delegate(ad, &delegate, nullptr) != TILO_STATUS_OK ||
      tilo_interstitial_ad_load(ad) != TILO_STATUS_OK) {
    return 1;
  }
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::duration<double>(kStepLimit);
  while (std::chrono::steady_clock::now() < deadline) tilo_run_main_loop_for(0.05);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, std::string> options;
  std::string mode;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.starts_with("--") && i + 1 < argc) {
      options[arg] = argv[++i];
    } else if (mode.empty()) {
      mode = arg;
    } else {
      return 2;
    }
  }
  for (const char* required : {"--bundle", "--container", "--api-base-url"}) {
    if (!options.count(required)) return 2;
  }
  platform::Bundle::setMainBundleDirectory(options["--bundle"]);
  platform::AppContainer::setPath(options["--container"]);
  TiloAds::setApiBaseUrl(options["--api-base-url"]);
  auto loop = platform::MainLoop::shared();

  const int burst = options.count("--burst") ? std::stoi(options["--burst"]) : 0;
  if (mode == "stream") return stream(*loop, burst);
  if (mode == "start") {
    TiloAds::shared()->initialized([](std::optional<TiloError>) {});
    say("started");
    loop->run();
    return 0;
  }
  if (mode == "drain") return drain(*loop, burst);
  if (mode == "abort-in-impression") return abortInImpression(*loop);
  return 2;
}
