// Collects analytics events and uploads them in batches to "/analytics/events".
//
//   AdEventLogger::create(api, appKey);                 // once, during SDK start-up
//   logEvent(AdLogEventType::adRequest, adInfo);        // from any thread, cheap
//   logEvent(AdLogEventType::adResponseError, adInfo, AdResError{204, "No fill"});
//
// Events queue in memory (oldest first) and go out when 20 are waiting, on a repeating
// 5-second timer, when the application enters the background, or at once for crash
// reports. A failed upload keeps them and the timer tries again. One second after the
// last append, and after every upload that leaves events behind, they are written to
// the encrypted store, from which the next process restores them.
//
// Threads: the event list and the store are touched only on the logger's operation
// queue (one operation at a time); the two timers live on the main thread. Every task,
// timer and upload completion holds the logger weakly.
//
// Warning: one upload runs at a time. A flush asked for while one is in flight (by the
// threshold, a tick, the background or crash reports) runs as soon as it succeeds; after
// a failure the timer drives the next attempt.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Tilo/ads/TiloAdInfo.h"
#include "Tilo/backend/TiloApiProtocol.h"
#include "Tilo/telemetry/AdLogEvent.h"
#include "Tilo/telemetry/EventStore.h"
#include "platform/DispatchQueue.h"
#include "platform/Reactive.h"
#include "platform/Timer.h"

namespace tilo {

class AdEventLogger : public std::enable_shared_from_this<AdEventLogger> {
 public:
  static constexpr std::size_t kMaxEventCount = 20;
  static constexpr double kFlushInterval = 5.0;
  static constexpr double kSaveDelay = 1.0;

  // Builds the logger over `api`, restores the stored events of an earlier run and
  // installs it as the process-wide instance, replacing any earlier one.
  static std::shared_ptr<AdEventLogger> create(std::shared_ptr<TiloApiProtocol> api,
                                               std::string encryptionSecret);
  // The process-wide instance; null before create().
  static std::shared_ptr<AdEventLogger> shared();
  static void resetSharedForTesting();

  // Appends the events, stops both timers and uploads at once (crash reports).
  void logImmediateEvents(std::vector<AdLogEvent> events);
  // Queues one event with a payload built by the caller (see logEvent).
  void append(AdLogEventType type, platform::Json payload);
  // The events waiting to be sent, read on the queue (blocks until earlier work is done).
  std::vector<AdLogEvent> queuedEvents();

  AdEventLogger(std::shared_ptr<TiloApiProtocol> api, std::string encryptionSecret);

 private:
  // Run on queue_.
  void appendEvent(AdLogEvent event);
  void flush();
  void scheduledFlush();
  void finishUpload(std::uint64_t sentEnd, std::exception_ptr error);
  void saveAll();
  void saveIfBehind();
  void requestDelayedSave();
  void startFlushTimer();
  void cancelTimers();
  void enterBackground();
  // Run on the main thread.
  void armSaveTimer(double delay);
  void saveTimerFired();
  // Posts `work` to queue_ holding the logger weakly.
  void enqueue(void (AdEventLogger::*work)());

  std::shared_ptr<TiloApiProtocol> tiloApi_;
  std::vector<AdLogEvent> events_;
  std::shared_ptr<platform::OperationQueue> queue_;
  platform::Subscription backgroundSubscription_;
  std::shared_ptr<platform::Timer> saveTimer_;   // main thread
  std::shared_ptr<platform::Timer> flushTimer_;  // main thread
  std::string encryptionSecret_;
  std::size_t lastSavedCount_ = 0;
  EventStore store_;
  std::uint64_t removedCount_ = 0;  // events ever removed from the front of events_
  bool uploading_ = false;
  bool flushRequested_ = false;  // asked for while uploading
  bool flushScheduled_ = false;  // a threshold flush waits on the queue
  bool timersArmed_ = false;     // a timer may be running: cancelling has work to do
  // Appends only note their time; the save timer re-arms itself until a full second has
  // passed since the last one, instead of being replaced on every append.
  std::atomic<double> lastAppendUptime_{0};
  std::atomic<bool> saveTimerRequested_{false};
};

// The entry for loaders, presenters and views: builds the payload on the calling thread
// and queues the event; does nothing before the logger exists.
void logEvent(AdLogEventType type, const TiloAdInfo& adInfo,
              const std::optional<AdResError>& error = std::nullopt);

}  // namespace tilo
