#include "tools/demo/DemoApp.h"

#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <iomanip>

#include "Tilo/backend/TiloAdUnitSynchronizer.h"
#include "Tilo/backend/TiloApi.h"
#include "Tilo/base/ApiBaseUrl.h"
#include "Tilo/entry/TiloAds.h"
#include "Tilo/entry/TiloService.h"
#include "Tilo/telemetry/CrashMarkers.h"
#include "mediation/CallRecorder.h"
#include "mediation/demand/BidCreative.h"
#include "mediation/demand/Demand.h"
#include "platform/Application.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "tools/devserver/DevServer.h"
#include "tools/devserver/SampleCampaigns.h"

namespace tilo::demo {
namespace {

using platform::Json;

// Preparing the ad networks after the fetch: scripted, so quick, but not bounded by the SDK.
constexpr double kNetworkPreparationLimit = 30;

constexpr const char* kRelaunchMarker = "TILO_DEMO_RELAUNCHED";
constexpr const char* kSkipIdleVariable = "TILO_DEMO_SKIP_IDLE";

// The campaigns file --campaigns names; "sample" writes the built-in ones into the container.
std::filesystem::path campaignsFile(const DemoWorkspace& workspace, const std::string& option) {
  if (option != "sample") return option;
  const auto dir = workspace.container() / "tilo-demo-campaigns";
  std::error_code ignored;  // a failure shows as the write's
  std::filesystem::create_directories(dir, ignored);
  for (const auto& file : devserver::SampleCampaigns::files()) {
    if (!platform::FileSystem::atomicWrite(dir / file.name, file.content)) {
      throw std::runtime_error("cannot write the sample campaigns into " + dir.string());
    }
  }
  return dir / devserver::SampleCampaigns::kFileName;
}

}  // namespace

DemoApp::DemoApp(DemoOptions options, std::vector<std::string> args, std::ostream& out)
    : options_(std::move(options)), args_(std::move(args)), out_(out) {}

DemoApp::~DemoApp() {
  platform::Application::shared().setOpenURLHandler(nullptr);
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
    if (options_.campaigns) {
      try {
        serverOptions.campaigns = std::make_shared<const devserver::Campaigns>(
            devserver::Campaigns::load(campaignsFile(workspace, *options_.campaigns)));
      } catch (const std::exception& problem) {
        out_ << "error: --campaigns: " << problem.what() << "\n";
        return 2;
      }
    }
    server_ = devserver::DevServer::start(serverOptions, &error);
    if (!server_) {
      out_ << "error: cannot start the embedded backend: " << error << "\n";
      return 1;
    }
    baseUrl_ = server_->baseUrl();
    out_ << "backend " << baseUrl_ << " (embedded)\n";
  }
  TiloAds::setApiBaseUrl(baseUrl_);

  if (options_.realAds()) {
    demandUrl_ = options_.demandUrl ? *options_.demandUrl : baseUrl_ + "/openrtb2/auction";
    if (!mediation::demand::Demand::setDemandUrl(*demandUrl_)) {
      out_ << "error: --demand must be https://, or http:// to a loopback host\n";
      return 2;
    }
    out_ << "real ads from the exchange at " << *demandUrl_ << "\n";
  } else {
    auto& source = mediation::AdSource::shared();
    const auto scenarioError =
        options_.scenario ? source.loadScenarioFile(*options_.scenario)
                          : source.loadScenario(platform::parseJson(embeddedScenarioJson()));
    if (scenarioError) {
      out_ << "error: scenario: " << *scenarioError << "\n";
      return 2;
    }
  }
  // Clicks leave through the host: this one prints where they lead.
  platform::Application::shared().setOpenURLHandler(
      [this](const std::string& url) { out_ << "  open URL " << url << "\n"; });

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
  if (options_.inspector) ok = writeInspectorPages() && ok;
  printStoredEvents();
  if (options_.logLevel == TiloLogLevel::debug) {
    out_ << "\noutside-SDK calls\n" << mediation::CallRecorder::shared().describe();
  }
  if (skippingIdle_) {
    out_ << "\nidle time skipped: " << std::fixed << std::setprecision(1)
         << skippingIdle_->skippedSeconds() << " s\n";
  }
  out_ << (ok ? "\ndemo finished: every requested format behaved as scripted\n"
              : "\ndemo finished with errors\n");
  return ok ? 0 : 1;
}

bool DemoApp::initialize() {
  // As long as the SDK may take itself: a slow backend must not be mistaken for a hang.
  RetryPolicy policy;
  if (auto api = std::dynamic_pointer_cast<TiloApi>(TiloAds::shared()->core()->tiloApi())) {
    policy = api->retryPolicy();
  }
  const double limit = TiloApi::worstCaseFetchSeconds(policy) + kNetworkPreparationLimit;
  auto result = std::make_shared<std::optional<std::optional<TiloError>>>();
  TiloAds::shared()->initialized([result](std::optional<TiloError> error) { *result = error; });
  if (!loop_->runUntil([&] { return result->has_value(); }, limit)) {
    out_ << "error: initialization did not finish within " << limit << " s\n";
    return false;
  }
  if (const auto& error = **result) {
    out_ << "initialization failed: " << error->debugDescription() << "\n";
    return false;
  }
  out_ << "initialized\n";
  mediation::demand::Demand::setStoreUrl(TiloAds::shared()->core()->config().storeURL);
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
    auto synchronizer =
        Synchronizer::create([](const TiloAdUnitItem&, Completion<bool> done) { done(true); },
                             TiloAds::shared()->core());
    auto result = std::make_shared<std::optional<Result<TiloAdUnitItem>>>();
    synchronizer->syncTiloAdUnit(unitId, [result](Result<TiloAdUnitItem> item) {
      platform::postToMain([result, item] { *result = item; });
    });
    loop_->runUntil([&] { return result->has_value(); }, kStepLimit);
    if (!*result || !**result) {
      out_ << "  " << unitId << ": "
           << (*result ? localizedDescription(*(*result)->error()) : "no answer") << "\n";
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

bool DemoApp::waitFor(const std::function<bool()>& done, double limit) {
  return skippingIdle_ ? skippingIdle_->runUntilSkippingIdle(done, limit)
                       : loop_->runUntil(done, limit);
}

double DemoApp::elapsed() const {
  return platform::Environment::current().clock().uptime() - startUptime_;
}

}  // namespace tilo::demo
