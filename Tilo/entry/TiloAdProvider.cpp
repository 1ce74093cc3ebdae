#include "Tilo/entry/TiloAdProvider.h"

#include "Tilo/base/TiloLogger.h"
#include "Tilo/networks/NetworkList.h"
#include "Tilo/telemetry/CrashMarkers.h"
#include "Tilo/telemetry/DiagnosticsRecorder.h"
#include "mediation/CallRecorder.h"
#include "platform/Environment.h"

namespace tilo {
namespace {

// The calls a network's privacy step made on its SDK, as the inspector shows them: the
// consent strings the host set appear masked.
std::vector<std::string> privacyCallsSince(std::size_t first, const PrivacySettings& privacy) {
  const auto calls = mediation::CallRecorder::shared().calls();
  std::vector<std::string> shown;
  for (std::size_t i = first; i < calls.size(); ++i) {
    std::string value = calls[i].value;
    for (const auto& secret : {privacy.gdprConsentString, privacy.ccpaString}) {
      if (!secret || secret->empty()) continue;
      for (auto at = value.find(*secret); at != std::string::npos;
           at = value.find(*secret, at + 1)) {
        const std::string masked = maskSecret(*secret);
        value.replace(at, secret->size(), masked);
        at += masked.size() - 1;
      }
    }
    shown.push_back(calls[i].sdk + " " + calls[i].method + (value.empty() ? "" : " " + value));
  }
  return shown;
}

}  // namespace

struct TiloAdProvider::Run {
  std::vector<std::shared_ptr<ADNetwork>> networks;
  PrivacySettings privacy;
  std::function<void()> done;
  std::size_t next = 0;
  NetworkInitializationSummary summary;
};

std::shared_ptr<TiloAdProvider> TiloAdProvider::create(NetworkListFactory makeNetworks) {
  return std::make_shared<TiloAdProvider>(std::move(makeNetworks));
}

TiloAdProvider::TiloAdProvider(NetworkListFactory makeNetworks)
    : makeNetworks_(makeNetworks ? std::move(makeNetworks) : NetworkListFactory(makeNetworkList)),
      initializedSubject_(platform::CurrentValueSubject<bool>::create(false)) {}

platform::Publisher<bool> TiloAdProvider::initializedPublisher() {
  return initializedSubject_->publisher();
}

void TiloAdProvider::initializeNetworks(const TiloConfiguration& configuration,
                                        const PrivacySettings& privacy,
                                        std::function<void()> done) {
  log("🚀 SDK 초기화 시작", TiloLogLevel::debug);
  auto run = std::make_shared<Run>(Run{makeNetworks_(configuration), privacy, std::move(done), 0,
                                       NetworkInitializationSummary{}});
  step(weak_from_this(), std::move(run));
}

void TiloAdProvider::step(std::weak_ptr<TiloAdProvider> weak, std::shared_ptr<Run> run) {
  if (run->next == run->networks.size()) {
    log("🎯 광고 네트워크 초기화 완료", TiloLogLevel::debug);
    if (auto self = weak.lock()) {
      {
        std::lock_guard lock(self->mutex_);
        self->lastSummary_ = run->summary;
      }
      self->initializedSubject_->send(true);
    }
    log("🏁 SDK 초기화 완료", TiloLogLevel::debug);
    run->done();
    return;
  }
  auto network = run->networks[run->next++];
  const std::string name = network->name();
  if (enableMarkerCheckpoints()) {
    setMarker(CrashMarkerCheckpoint::adNetworkInit,
              CheckpointMetadata::adNetworkInit(name + ":privacy"));
  }
  DiagnosticsRecorder::shared().networkStarting(name);
  const std::size_t callsBefore = mediation::CallRecorder::shared().calls().size();
  network->applyPrivacy(run->privacy);
  auto privacyCalls = privacyCallsSince(callsBefore, run->privacy);
  if (enableMarkerCheckpoints()) {
    setMarker(CrashMarkerCheckpoint::adNetworkInit,
              CheckpointMetadata::adNetworkInit(name + ":preparing"));
  }
  // A network may answer inline or on its own thread; either way the next one starts
  // from a fresh background task, never nested inside the previous answer.
  network->initialize([weak, run, name, privacyCalls](bool ready) {
    DiagnosticsRecorder::shared().networkStarted(name, ready, privacyCalls);
    platform::postBackground([weak, run, name, ready] {
      if (ready) {
        ++run->summary.succeeded;
      } else {
        run->summary.failedNetworks.push_back(name);
      }
      step(weak, run);
    });
  });
}

NetworkInitializationSummary TiloAdProvider::lastNetworkInitialization() const {
  std::lock_guard lock(mutex_);
  return lastSummary_;
}

}  // namespace tilo
