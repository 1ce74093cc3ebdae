// Collects analytics events and uploads them in batches to "/analytics/events".
//
//   AdEventLogger::create(api, appKey);                 // once, during SDK start-up
//   logEvent(AdLogEventType::adRequest, adInfo);        // from any thread, cheap
//   logEvent(AdLogEventType::adResponseError, adInfo, AdResError{204, "No fill"});
//
// Events queue in memory (oldest first) and go out when 20 are waiting, on a repeating
// 5-second timer, when the application enters the background, or at once for crash
// reports. A failed upload keeps them, and nothing is sent again before the next tick of
// the timer, however many events arrive meanwhile. The queue holds at most 1,000 events:
// beyond that the oldest are dropped, and the next flush reports how many in one error
// line, "⚠️ 이벤트 큐 초과로 오래된 이벤트 삭제: <count>".
//
// Durability: the encrypted store holds every queued event within a second of its
// append, whatever else is going on. A save runs kSaveDelay after the first change the
// store lacks (a throttle: a steady stream cannot push it back, and it costs one write per
// delay however many batches go out meanwhile); a failed upload, the background and crash
// reports save at once, the last before logImmediateEvents returns. The next process
// restores the store and sends it again. Delivery is therefore at least once: an upload
// that reached the backend but whose answer was lost, or whose events a kill caught still
// in the store, is sent again, and the backend deduplicates by event id.
//
// Threads: the event list and the store are touched only on the logger's operation
// queue (one operation at a time); upload answers and the save delay come back to that
// queue directly, so neither waits for the host's main loop. The flush timer lives on
// the main thread and only enqueues work. Every task, timer and upload completion holds
// the logger weakly.
//
// Warning: one upload runs at a time. A flush asked for while one is in flight (by the
// threshold, a tick, the background or crash reports) runs as soon as it succeeds; after
// a failure the timer drives the next attempt.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "Tilo/base/TiloAdInfo.h"
#include "Tilo/base/TiloApiProtocol.h"
#include "Tilo/telemetry/AdLogEvent.h"
#include "Tilo/telemetry/EventStore.h"
#include "platform/DispatchQueue.h"
#include "platform/Reactive.h"
#include "platform/Timer.h"

namespace tilo {

class AdEventLogger : public std::enable_shared_from_this<AdEventLogger> {
 public:
  static constexpr std::size_t kMaxEventCount = 20;
  static constexpr std::size_t kMaxQueuedEvents = 1000;
  static constexpr double kFlushInterval = 5.0;
  // Half of the one-second promise, so that the write itself fits in the other half.
  static constexpr double kSaveDelay = 0.5;

  // Builds the logger over `api` and installs it as the process-wide instance, replacing
  // any earlier one. The stored events of an earlier run are restored on the logger's
  // queue, ahead of everything logged afterwards.
  static std::shared_ptr<AdEventLogger> create(std::shared_ptr<TiloApiProtocol> api,
                                               std::string encryptionSecret);
  // The process-wide instance; null before create().
  static std::shared_ptr<AdEventLogger> shared();
  static void resetSharedForTesting();
  platform::OperationQueue& queueForTesting() { return *queue_; }

  // Appends the events, saves the queue, stops the flush timer and uploads at once (crash
  // reports). Blocks until the store holds them: their marker files are gone already.
  void logImmediateEvents(std::vector<AdLogEvent> events);
  // Queues one event with a payload built by the caller (see logEvent): its compact JSON
  // text, always an object.
  void append(AdLogEventType type, std::string payloadJson);
  // The events waiting to be sent, read on the queue (blocks until earlier work is done).
  std::vector<AdLogEvent> queuedEvents();
  // Events dropped for room since the logger was made (blocks like queuedEvents).
  std::uint64_t droppedEventCount();
  // How the logger is doing, for the inspector: read without waiting for the queue, as of
  // the logger's last change.
  struct Stats {
    std::size_t queued = 0;
    std::uint64_t sent = 0;              // confirmed by the backend
    std::uint64_t dropped = 0;           // for room
    std::uint64_t uploads = 0;           // answered, either way
    std::optional<double> lastUploadAt;  // wall seconds of the last answer
    bool lastUploadSucceeded = false;
    std::size_t lastUploadEvents = 0;
    std::string lastUploadError;
  };
  Stats stats() const;
  // Writes the queue to the store now, after the work queued ahead (blocks like
  // queuedEvents): for a shutdown, which cannot wait for the delayed save.
  void saveNow();

  AdEventLogger(std::shared_ptr<TiloApiProtocol> api, std::string encryptionSecret);

 private:
  // Run on queue_.
  void restore();
  void appendEvent(AdLogEvent event);
  void dropOverflow();
  void reportDrops();
  void flush();
  void scheduledFlush();
  void tick();
  void finishUpload(std::uint64_t sentEnd, const std::optional<SdkError>& error);
  void saveAll();
  void saveIfBehind();
  void scheduleSave();
  void scheduledSave();
  void startFlushTimer();
  void cancelFlushTimer();
  void enterBackground();
  // Posts `work` to queue_ holding the logger weakly.
  void enqueue(void (AdEventLogger::*work)());
  // The queue proper: events_ from head_ on. Removals from the front only move head_, and
  // the storage is compacted once the gap is as large as the queue's cap, so that a full
  // queue drops its oldest event in constant time and stays one contiguous run.
  std::span<const AdLogEvent> queued() const;
  std::size_t queuedCount() const { return events_.size() - head_; }
  void removeFront(std::size_t count);
  // Copies the counts into stats_ (on queue_).
  void publishStats();

  std::shared_ptr<TiloApiProtocol> tiloApi_;
  std::vector<AdLogEvent> events_;
  std::size_t head_ = 0;
  std::shared_ptr<platform::OperationQueue> queue_;
  platform::Subscription backgroundSubscription_;
  std::shared_ptr<platform::Timer> flushTimer_;  // main thread
  std::string encryptionSecret_;
  EventStore store_;
  bool storeIsCurrent_ = true;      // the store holds every event of events_
  std::uint64_t removedCount_ = 0;  // events ever removed from the front of events_
  std::uint64_t droppedCount_ = 0;  // dropped for room and not reported yet
  std::uint64_t droppedTotal_ = 0;  // dropped for room, ever
  bool uploading_ = false;
  bool flushRequested_ = false;   // asked for while uploading
  bool flushScheduled_ = false;   // a threshold flush waits on the queue
  bool waitForTick_ = false;      // the last upload failed: only a tick sends again
  bool saveScheduled_ = false;    // a delayed save waits
  bool flushTimerArmed_ = false;  // started and not cancelled since (both post to main)
  std::uint64_t sentTotal_ = 0;
  mutable std::mutex statsMutex_;
  Stats stats_;
};

// The entry for loaders, presenters and views: builds the payload on the calling thread
// and queues the event; does nothing before the logger exists.
void logEvent(AdLogEventType type, const TiloAdInfo& adInfo,
              const std::optional<AdResError>& error = std::nullopt);

}  // namespace tilo
