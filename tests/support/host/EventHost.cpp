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
//   drain                                   initializes, enters the background and exits
//                                           0 with "drained" once the logger sent all
//                                           that earlier runs stored
//
// Exits 2 on a usage error, 1 when a step does not finish within a minute.
#include <chrono>
#include <cstdio>
#include <map>
#include <optional>
#include <string>

#include "Tilo/entry/TiloAds.h"
#include "Tilo/telemetry/AdEventLogger.h"
#include "platform/AppContainer.h"
#include "platform/Application.h"
#include "platform/Bundle.h"
#include "platform/MainLoop.h"
#include "platform/Timer.h"

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

int drain(platform::MainLoop& loop) {
  if (!initialize(loop)) return 1;
  platform::Application::shared().setState(platform::ApplicationState::background);
  auto logger = AdEventLogger::shared();
  // The logger finishes on its own queue: wake the loop now and then to look.
  auto poll = platform::Timer::scheduled(0.01, /*repeats=*/true, [] {});
  if (!loop.runUntil([&] { return logger->queuedEvents().empty(); }, kStepLimit)) return 1;
  say("drained");
  return 0;
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
  if (mode == "drain") return drain(*loop);
  return 2;
}
