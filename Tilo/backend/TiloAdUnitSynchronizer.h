// Turns a host ad-unit identifier into its backend record, then into a loader.
//
//   auto sync = TiloAdUnitSynchronizer<std::shared_ptr<MyLoader>>::create(
//       [](const TiloAdUnitItem& item, Completion<std::shared_ptr<MyLoader>> done) { ... },
//       service);
//   sync->syncAndLoad("unit-1", listener);   // listener->onAdLoadSuccess / onAdLoadFail
//
// A wait resolves as soon as the SDK is initialized and the unit is in the published
// application info (at once when both hold already). A unit missing from it triggers one resync;
// the resync's answer decides between the item and "No ad unit found". Three seconds without a new
// value end the wait with "Timeout occurred" (the deadline runs on the main executor).
//
// Waits are independent: each call has its own subscription and its own deadline, so two
// loads started before initialization both resolve when it ends (or each time out three
// seconds after its own start).
//
// Nothing runs inside a publisher's delivery except bookkeeping: completions continue on
// a background task and listeners are called from a main-thread task of their own, with
// no lock of the SDK held, so a host callback may load again or release its loader.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Tilo/backend/TiloServiceProtocol.h"
#include "Tilo/base/Result.h"
#include "Tilo/base/TiloAppInfo.h"
#include "Tilo/base/TiloError.h"
#include "Tilo/telemetry/AdLoadTracker.h"
#include "Tilo/telemetry/CrashMarkers.h"
#include "platform/Environment.h"
#include "platform/Reactive.h"

namespace tilo {

template <class Loader>
class TiloAdUnitSynchronizer : public std::enable_shared_from_this<TiloAdUnitSynchronizer<Loader>> {
 public:
  // Builds the ad object's loader for a resolved item; may fail with any error.
  using LoaderFactory = std::function<void(const TiloAdUnitItem&, Completion<Loader>)>;

  static std::shared_ptr<TiloAdUnitSynchronizer> create(
      LoaderFactory loader, std::shared_ptr<TiloServiceProtocol> tiloService) {
    return std::make_shared<TiloAdUnitSynchronizer>(std::move(loader), std::move(tiloService));
  }

  TiloAdUnitSynchronizer(LoaderFactory loader, std::shared_ptr<TiloServiceProtocol> tiloService)
      : loader_(std::move(loader)), tiloService_(std::move(tiloService)) {}

  // Pending waits still complete, once, with "Unspecified error".
  ~TiloAdUnitSynchronizer() {
    std::vector<std::shared_ptr<Wait>> pending;
    {
      std::lock_guard lock(mutex_);
      pending.swap(waits_);
    }
    for (auto& wait : pending) {
      wait->subscription.cancel();
      if (!wait->done.exchange(true)) {
        complete(wait, Result<TiloAdUnitItem>::failure(TiloError::unspecified()));
      }
    }
  }

  // Completes once with the item or a TiloError, on a background task: a ready unit at
  // once on the calling thread, which must then be a background one (syncAndLoad's task).
  void syncTiloAdUnit(const std::string& unitId, Completion<TiloAdUnitItem> completion) {
    // The usual case once the SDK runs: nothing to wait for, so no subscription, deadline,
    // main-thread cleanup or further hand-off to another thread is set up for it.
    if (auto item = tiloService_->readyItem(unitId)) {
      completion(std::move(*item));
      return;
    }
    auto wait = std::make_shared<Wait>();
    wait->completion = std::move(completion);
    {
      std::lock_guard lock(mutex_);
      waits_.push_back(wait);
    }

    std::weak_ptr<TiloAdUnitSynchronizer> weak = this->weak_from_this();
    auto service = tiloService_;
    auto ready = service->adProvider()->initializedPublisher().filter([](bool v) { return v; });
    auto subscription =
        platform::combineLatest(service->appInfoPublisher().dropEmpty(), ready)
            .map([](const std::pair<TiloAppInfo, bool>& pair) { return pair.first; })
            .timeout(3.0, timeoutError().message())
            .sink(
                [weak, wait, unitId](const TiloAppInfo& info) {
                  if (const TiloAdUnitItem* item = info.item(unitId)) {
                    settle(weak, wait, *item);
                  } else if (wait->done.load()) {
                    return;
                  } else if (!wait->resyncRequested.exchange(true)) {
                    if (auto self = weak.lock()) self->tiloService_->resync(unitId);
                  } else {
                    settle(weak, wait,
                           Result<TiloAdUnitItem>::failure(TiloError(
                               TiloError::Code::initializationFailed, "No ad unit found")));
                  }
                },
                [weak, wait, weakService = std::weak_ptr<TiloServiceProtocol>(service)](
                    const platform::Error&) {
                  // The wait ran out; one that did because the backend refused the app key
                  // says so.
                  auto service = weakService.lock();
                  auto problem = service ? service->startupProblem() : std::nullopt;
                  settle(weak, wait,
                         Result<TiloAdUnitItem>::failure(problem.value_or(timeoutError())));
                });
    // Declared after `subscription`, so a subscription left here is dropped unlocked.
    std::lock_guard lock(mutex_);
    // The replayed values may already have settled this wait inside sink().
    if (!wait->done.load()) wait->subscription = std::move(subscription);
  }

  // Resolves the unit, builds its loader and reports on the main thread:
  // listener->onAdLoadSuccess(loader, no ad info) or listener->onAdLoadFail(TiloError).
  // Nothing is reported when the synchronizer is gone by then.
  template <class Listener>
  void syncAndLoad(std::string unitId, std::shared_ptr<Listener> listener) {
    // The usual case once the SDK runs: the unit is ready and no marker file is written.
    // The platform's load answers asynchronously itself, so nothing here needs a thread of
    // its own: handing the load to one cost more than the load.
    if (!enableMarkerCheckpoints()) {
      if (auto item = tiloService_->readyItem(unitId)) {
        return loadItem(loader_, *item, unitId, listener);
      }
    }
    platform::postBackground([weak = this->weak_from_this(), unitId, listener] {
      auto self = weak.lock();
      if (!self) return;
      if (enableMarkerCheckpoints()) {
        updateAdLoadPhase(unitId, "start");
        updateAdLoadPhase(unitId, "sync");
      }
      self->syncTiloAdUnit(unitId, [weak, unitId, listener](Result<TiloAdUnitItem> item) {
        auto self = weak.lock();
        if (!self) {
          completeAdLoad(unitId);
          return;
        }
        if (!item) {
          completeAdLoad(unitId);
          report<Listener>(listener, Result<Loader>::failure(*item.error()));
          return;
        }
        if (enableMarkerCheckpoints()) updateAdLoadPhase(unitId, "loader_init");
        auto factory = self->loader_;
        self.reset();
        loadItem(factory, item.value(), unitId, listener);
      });
    });
  }

 private:
  struct Wait {
    std::atomic<bool> done{false};
    std::atomic<bool> resyncRequested{false};
    Completion<TiloAdUnitItem> completion;
    platform::Subscription subscription;  // guarded by the synchronizer's mutex_
  };

  static TiloError timeoutError() {
    return TiloError(TiloError::Code::initializationFailed, "Timeout occurred");
  }

  static void complete(const std::shared_ptr<Wait>& wait, Result<TiloAdUnitItem> result) {
    platform::postBackground(
        [wait, result = std::move(result)]() mutable { wait->completion(std::move(result)); });
  }

  // Decides the wait once. Called from inside a delivery, which holds the publishers'
  // locks: the completion and the drop of the subscription are posted, never run here.
  static void settle(const std::weak_ptr<TiloAdUnitSynchronizer>& weak,
                     const std::shared_ptr<Wait>& wait, Result<TiloAdUnitItem> result) {
    if (wait->done.exchange(true)) return;
    platform::postToMain([weak, wait] {
      auto self = weak.lock();
      if (!self) return;  // the destructor dropped every subscription
      platform::Subscription dropped;
      std::lock_guard lock(self->mutex_);
      std::erase(self->waits_, wait);
      dropped = std::move(wait->subscription);
    });
    complete(wait, std::move(result));
  }

  template <class Listener>
  static void loadItem(const LoaderFactory& factory, const TiloAdUnitItem& item,
                       const std::string& unitId, const std::shared_ptr<Listener>& listener) {
    factory(item, [unitId, listener](Result<Loader> loader) {
      completeAdLoad(unitId);
      report<Listener>(listener, std::move(loader));
    });
  }

  // Always a main-thread task of its own: never inline, even on the main thread.
  template <class Listener>
  static void report(const std::shared_ptr<Listener>& listener, Result<Loader> result) {
    platform::postToMain([listener, result = std::move(result)] {
      if (!listener) return;
      if (result) {
        if (listener->onAdLoadSuccess) listener->onAdLoadSuccess(result.value(), std::nullopt);
        return;
      }
      if (listener->onAdLoadFail) listener->onAdLoadFail(asTiloError(*result.error()));
    });
  }

  const LoaderFactory loader_;
  const std::shared_ptr<TiloServiceProtocol> tiloService_;
  std::mutex mutex_;
  std::vector<std::shared_ptr<Wait>> waits_;  // undecided, or decided with a live subscription
};

}  // namespace tilo
