// Turns a host ad-unit identifier into its backend record, then into a loader.
//
//   auto sync = TiloAdUnitSynchronizer<std::shared_ptr<MyLoader>>::create(
//       [](const TiloAdUnitItem& item, Completion<std::shared_ptr<MyLoader>> done) { ... },
//       service);
//   sync->syncAndLoad("unit-1", listener);   // listener->onAdLoadSuccess / onAdLoadFail
//
// A wait resolves as soon as the SDK is initialized and the unit is in the published
// application info. A unit missing from it triggers one resync; the resync's answer
// decides between the item and "No ad unit found". Three seconds without a new value
// end the wait with "Timeout occurred" (the deadline runs on the main executor).
//
// Warning: one wait at a time per synchronizer. A newer syncTiloAdUnit ends the earlier
// wait with the timeout error (its completion still runs exactly once).
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "Tilo/backend/TiloAppInfo.h"
#include "Tilo/backend/TiloError.h"
#include "Tilo/core/Result.h"
#include "Tilo/core/TiloServiceProtocol.h"
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

  ~TiloAdUnitSynchronizer() {
    if (current_) finish(current_, Result<TiloAdUnitItem>::failure(unspecifiedError()));
  }

  // Completes once with the item or a TiloError, on the thread that delivered the
  // deciding value (the main thread for the timeout).
  void syncTiloAdUnit(const std::string& unitId, Completion<TiloAdUnitItem> completion) {
    auto wait = std::make_shared<Wait>();
    wait->completion = std::move(completion);
    std::shared_ptr<Wait> previous;
    platform::Subscription old;
    {
      std::lock_guard lock(mutex_);
      previous = std::exchange(current_, wait);
      old = std::move(cancellable_);
    }
    old.cancel();
    if (previous) {
      finish(previous, Result<TiloAdUnitItem>::failure(std::make_exception_ptr(timeoutError())));
    }

    std::weak_ptr<TiloAdUnitSynchronizer> weak = this->weak_from_this();
    auto service = tiloService_;
    auto ready = service->adProvider()->initializedPublisher().filter([](bool v) { return v; });
    auto subscription =
        platform::combineLatest(service->appInfoPublisher().dropEmpty(), ready)
            .map([](const std::pair<TiloAppInfo, bool>& pair) { return pair.first; })
            .timeout(3.0, std::make_exception_ptr(timeoutError()))
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
                           Result<TiloAdUnitItem>::failure(std::make_exception_ptr(TiloError(
                               TiloError::Code::initializationFailed, "No ad unit found"))));
                  }
                },
                [weak, wait](platform::Error error) {
                  settle(weak, wait, Result<TiloAdUnitItem>::failure(error));
                });
    std::lock_guard lock(mutex_);
    // The replayed values may already have settled this wait inside sink().
    if (current_ == wait && !wait->done.load()) cancellable_ = std::move(subscription);
  }

  // Resolves the unit, builds its loader and reports on the main thread:
  // listener->onAdLoadSuccess(loader, no ad info) or listener->onAdLoadFail(TiloError).
  // Nothing is reported when the synchronizer is gone by then.
  template <class Listener>
  void syncAndLoad(std::string unitId, std::shared_ptr<Listener> listener) {
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
          report<Listener>(listener, Result<Loader>::failure(item.error()));
          return;
        }
        if (enableMarkerCheckpoints()) updateAdLoadPhase(unitId, "loader_init");
        auto factory = self->loader_;
        self.reset();
        factory(item.value(), [unitId, listener](Result<Loader> loader) {
          completeAdLoad(unitId);
          report<Listener>(listener, std::move(loader));
        });
      });
    });
  }

 private:
  struct Wait {
    std::atomic<bool> done{false};
    std::atomic<bool> resyncRequested{false};
    Completion<TiloAdUnitItem> completion;
  };

  static TiloError timeoutError() {
    return TiloError(TiloError::Code::initializationFailed, "Timeout occurred");
  }
  static std::exception_ptr unspecifiedError() {
    return std::make_exception_ptr(TiloError::unspecified());
  }

  static void finish(const std::shared_ptr<Wait>& wait, Result<TiloAdUnitItem> result) {
    if (wait->done.exchange(true)) return;
    wait->completion(std::move(result));
  }

  // Resumes the wait once and drops its subscription. The drop is posted: the value
  // being delivered may hold locks of the publishers that the cancellation takes.
  static void settle(const std::weak_ptr<TiloAdUnitSynchronizer>& weak,
                     const std::shared_ptr<Wait>& wait, Result<TiloAdUnitItem> result) {
    if (wait->done.load()) return;
    platform::postToMain([weak, wait] {
      auto self = weak.lock();
      if (!self) return;
      platform::Subscription dropped;
      {
        std::lock_guard lock(self->mutex_);
        if (self->current_ != wait) return;
        self->current_.reset();
        dropped = std::move(self->cancellable_);
      }
    });
    finish(wait, std::move(result));
  }

  template <class Listener>
  static void report(const std::shared_ptr<Listener>& listener, Result<Loader> result) {
    platform::runOnMain([listener, result = std::move(result)] {
      if (!listener) return;
      if (result) {
        if (listener->onAdLoadSuccess) listener->onAdLoadSuccess(result.value(), std::nullopt);
        return;
      }
      if (!listener->onAdLoadFail) return;
      try {
        std::rethrow_exception(result.error());
      } catch (const TiloError& error) {
        listener->onAdLoadFail(error);
      } catch (...) {
        listener->onAdLoadFail(TiloError::unspecified());
      }
    });
  }

  const LoaderFactory loader_;
  const std::shared_ptr<TiloServiceProtocol> tiloService_;
  std::mutex mutex_;
  std::shared_ptr<Wait> current_;  // the wait that cancellable_ serves
  platform::Subscription cancellable_;
};

}  // namespace tilo
