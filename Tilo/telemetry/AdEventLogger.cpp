#include "Tilo/telemetry/AdEventLogger.h"

#include <algorithm>
#include <mutex>

#include "Tilo/base/TiloLogger.h"
#include "Tilo/telemetry/DiagnosticsRecorder.h"
#include "platform/Environment.h"
#include "platform/NotificationCenter.h"

namespace tilo {
namespace {

std::mutex sharedMutex;
// Made on first use and kept for the process: loading the library runs nothing.
std::shared_ptr<AdEventLogger>& sharedLogger() {
  static auto* const value = new std::shared_ptr<AdEventLogger>();
  return *value;
}

}  // namespace

std::shared_ptr<AdEventLogger> AdEventLogger::create(std::shared_ptr<TiloApiProtocol> api,
                                                     std::string encryptionSecret) {
  auto logger = std::make_shared<AdEventLogger>(std::move(api), std::move(encryptionSecret));
  // Reading, decrypting and decoding a full store takes milliseconds, which the host's
  // first call into the SDK should not pay. The restore is the queue's first operation
  // instead: every event logged from now on lands behind the restored ones, and no save or
  // upload runs before them. A sync caller (a read, a shutdown's save) runs it first.
  logger->enqueue(&AdEventLogger::restore);
  std::weak_ptr<AdEventLogger> weak = logger;
  logger->backgroundSubscription_ = platform::NotificationCenter::defaultCenter().addObserver(
      platform::kDidEnterBackgroundNotification, [weak] {
        if (auto self = weak.lock()) self->enqueue(&AdEventLogger::enterBackground);
      });
  std::lock_guard lock(sharedMutex);
  sharedLogger() = logger;
  return logger;
}

std::shared_ptr<AdEventLogger> AdEventLogger::shared() {
  std::lock_guard lock(sharedMutex);
  return sharedLogger();
}

void AdEventLogger::resetSharedForTesting() {
  std::shared_ptr<AdEventLogger> previous;
  std::lock_guard lock(sharedMutex);
  previous.swap(sharedLogger());
}

AdEventLogger::AdEventLogger(std::shared_ptr<TiloApiProtocol> api, std::string encryptionSecret)
    : tiloApi_(std::move(api)),
      queue_(platform::OperationQueue::create("com.tilo.adeventlogger")),
      encryptionSecret_(std::move(encryptionSecret)),
      store_(platform::UserDefaults::standard(), encryptionSecret_) {}

void AdEventLogger::enqueue(void (AdEventLogger::*work)()) {
  queue_->addOperation([weak = weak_from_this(), work] {
    if (auto self = weak.lock()) ((*self).*work)();
  });
}

void AdEventLogger::restore() {
  events_ = store_.loadSavedEvents();
  dropOverflow();
  storeIsCurrent_ = droppedCount_ == 0;
  if (queuedCount() > 0) startFlushTimer();
  publishStats();
}

void AdEventLogger::append(AdLogEventType type, std::string payloadJson) {
  // Appending is short: handing it to a pool thread would cost more than doing it here.
  queue_->queue()->runOrPost(
      [weak = weak_from_this(), type, payload = std::move(payloadJson)]() mutable {
        if (auto self = weak.lock()) self->appendEvent(AdLogEvent::make(type, std::move(payload)));
      });
}

void AdEventLogger::logImmediateEvents(std::vector<AdLogEvent> events) {
  queue_->queue()->sync([&] {
    std::move(events.begin(), events.end(), std::back_inserter(events_));
    dropOverflow();
    storeIsCurrent_ = false;
    saveAll();
    // A crash report is on disk before this returns: the host may die again at once.
    store_.flush();
    cancelFlushTimer();
    flush();
    publishStats();
  });
}

AdEventLogger::Stats AdEventLogger::stats() const {
  std::lock_guard lock(statsMutex_);
  return stats_;
}

void AdEventLogger::publishStats() {
  std::lock_guard lock(statsMutex_);
  stats_.queued = queuedCount();
  stats_.sent = sentTotal_;
  stats_.dropped = droppedTotal_;
}

std::vector<AdLogEvent> AdEventLogger::queuedEvents() {
  return queue_->queue()->sync([this] {
    auto events = queued();
    return std::vector<AdLogEvent>(events.begin(), events.end());
  });
}

std::uint64_t AdEventLogger::droppedEventCount() {
  return queue_->queue()->sync([this] { return droppedTotal_; });
}

void AdEventLogger::saveNow() {
  queue_->queue()->sync([this] { saveIfBehind(); });
}

std::span<const AdLogEvent> AdEventLogger::queued() const {
  return std::span<const AdLogEvent>(events_).subspan(head_);
}

void AdEventLogger::removeFront(std::size_t count) {
  count = std::min(count, queuedCount());
  head_ += count;
  removedCount_ += count;
  if (head_ < kMaxQueuedEvents && head_ < events_.size()) return;
  events_.erase(events_.begin(), events_.begin() + static_cast<std::ptrdiff_t>(head_));
  head_ = 0;
}

void AdEventLogger::appendEvent(AdLogEvent event) {
  const bool wasEmpty = queuedCount() == 0;
  events_.push_back(std::move(event));
  storeIsCurrent_ = false;
  dropOverflow();
  if (wasEmpty) startFlushTimer();
  scheduleSave();
  publishStats();
  // After a failed upload the timer alone decides when to try again.
  if (queuedCount() < kMaxEventCount || waitForTick_) return;
  cancelFlushTimer();
  if (uploading_) {
    flushRequested_ = true;
  } else if (!flushScheduled_) {
    // One pending flush serves every append that reaches the threshold.
    flushScheduled_ = true;
    enqueue(&AdEventLogger::scheduledFlush);
  }
}

void AdEventLogger::dropOverflow() {
  if (queuedCount() <= kMaxQueuedEvents) return;
  const std::size_t excess = queuedCount() - kMaxQueuedEvents;
  removeFront(excess);
  droppedCount_ += excess;
  droppedTotal_ += excess;
  // The store may still hold the dropped ones; the next save rewrites it.
}

void AdEventLogger::reportDrops() {
  if (droppedCount_ == 0) return;
  log("⚠️ 이벤트 큐 초과로 오래된 이벤트 삭제: " + std::to_string(droppedCount_),
      TiloLogLevel::error);
  droppedCount_ = 0;
}

void AdEventLogger::scheduledFlush() {
  flushScheduled_ = false;
  flush();
}

void AdEventLogger::tick() {
  waitForTick_ = false;
  flush();
}

void AdEventLogger::flush() {
  reportDrops();
  if (queuedCount() == 0) return;
  if (uploading_) {
    flushRequested_ = true;
    return;
  }
  // The batch's events are in the store within kSaveDelay of their append whether or not
  // the upload succeeds: the throttled save, not one per batch, keeps the promise.
  scheduleSave();
  uploading_ = true;
  flushRequested_ = false;
  const std::uint64_t sentEnd = removedCount_ + queuedCount();
  tiloApi_->sendEvents(makeEventsUploadBody(queued()),
                       [weak = weak_from_this(), sentEnd](std::optional<SdkError> error) {
                         auto self = weak.lock();
                         if (!self) return;
                         // Ahead of the appends waiting meanwhile: they need the room.
                         self->queue_->addUrgentOperation([weak, sentEnd, error] {
                           if (auto self = weak.lock()) self->finishUpload(sentEnd, error);
                         });
                       });
}

void AdEventLogger::finishUpload(std::uint64_t sentEnd, const std::optional<SdkError>& error) {
  uploading_ = false;
  {
    std::lock_guard lock(statsMutex_);
    ++stats_.uploads;
    stats_.lastUploadAt = platform::now();
    stats_.lastUploadSucceeded = !error;
    stats_.lastUploadEvents = static_cast<std::size_t>(sentEnd - std::min(sentEnd, removedCount_));
    stats_.lastUploadError = error ? localizedDescription(*error) : std::string();
  }
  if (error) {
    flushRequested_ = false;
    waitForTick_ = true;
    saveAll();
    startFlushTimer();
    log("❌ 이벤트 전송 실패, 디스크에 저장: " + localizedDescription(*error), TiloLogLevel::error);
    reportDrops();
    publishStats();
    return;
  }
  waitForTick_ = false;
  // Only removals from the front and appends at the back happen, so the sent events
  // still queued are exactly the first ones (drops may have removed some already).
  const auto sent = static_cast<std::size_t>(
      std::min<std::uint64_t>(sentEnd - std::min(sentEnd, removedCount_), queuedCount()));
  removeFront(sent);
  sentTotal_ += sent;
  publishStats();
  if (queuedCount() == 0) {
    store_.removeSentEvents();
    storeIsCurrent_ = true;
    flushRequested_ = false;
    cancelFlushTimer();
    return;
  }
  // The store still holds the sent events too; the throttled save drops them with the next
  // write, so that a steady stream costs one write per kSaveDelay, not one per batch. A
  // kill before then sends them again, which the backend's deduplication absorbs.
  storeIsCurrent_ = false;
  scheduleSave();
  startFlushTimer();
  if (flushRequested_) flush();
}

void AdEventLogger::saveAll() {
  if (store_.saveEvents(queued())) storeIsCurrent_ = true;
}

void AdEventLogger::saveIfBehind() {
  if (!storeIsCurrent_) saveAll();
}

void AdEventLogger::scheduleSave() {
  if (saveScheduled_ || storeIsCurrent_) return;
  saveScheduled_ = true;
  queue_->queue()->postDelayed(
      [weak = weak_from_this()] {
        if (auto self = weak.lock()) self->scheduledSave();
      },
      kSaveDelay);
}

void AdEventLogger::scheduledSave() {
  saveScheduled_ = false;
  saveIfBehind();
}

void AdEventLogger::enterBackground() {
  if (queuedCount() == 0) return;
  saveIfBehind();
  cancelFlushTimer();
  flush();
}

void AdEventLogger::startFlushTimer() {
  // Armed already: the timer runs, or its start is on the way to the main thread.
  if (flushTimerArmed_) return;
  flushTimerArmed_ = true;
  // Posted, never run inline, so that starts and cancellations reach the main thread in
  // the order the queue decided them.
  platform::postToMain([weak = weak_from_this()] {
    auto self = weak.lock();
    if (!self || self->flushTimer_) return;
    self->flushTimer_ = platform::Timer::scheduled(kFlushInterval, /*repeats=*/true, [weak] {
      if (auto self = weak.lock()) self->enqueue(&AdEventLogger::tick);
    });
  });
}

void AdEventLogger::cancelFlushTimer() {
  if (!flushTimerArmed_) return;
  flushTimerArmed_ = false;
  platform::postToMain([weak = weak_from_this()] {
    auto self = weak.lock();
    if (!self || !self->flushTimer_) return;
    self->flushTimer_->invalidate();
    self->flushTimer_.reset();
  });
}

void logEvent(AdLogEventType type, const TiloAdInfo& adInfo,
              const std::optional<AdResError>& error) {
  DiagnosticsRecorder::shared().adEvent(type, adInfo, error);
  if (auto logger = AdEventLogger::shared())
    logger->append(type, makeAdEventPayload(adInfo, error));
}

}  // namespace tilo
