#include "Tilo/telemetry/AdEventLogger.h"

#include <algorithm>
#include <mutex>

#include "Tilo/core/TiloLogger.h"
#include "platform/Environment.h"
#include "platform/NotificationCenter.h"

namespace tilo {
namespace {

std::mutex sharedMutex;
std::shared_ptr<AdEventLogger> sharedLogger;

double uptime() {
  return platform::Environment::current().clock().uptime();
}

}  // namespace

std::shared_ptr<AdEventLogger> AdEventLogger::create(std::shared_ptr<TiloApiProtocol> api,
                                                     std::string encryptionSecret) {
  auto logger = std::make_shared<AdEventLogger>(std::move(api), std::move(encryptionSecret));
  std::weak_ptr<AdEventLogger> weak = logger;
  logger->backgroundSubscription_ = platform::NotificationCenter::defaultCenter().addObserver(
      platform::kDidEnterBackgroundNotification, [weak] {
        if (auto self = weak.lock()) self->enqueue(&AdEventLogger::enterBackground);
      });
  // Restored on the constructing thread, before any work reaches the queue.
  logger->events_ = logger->store_.loadSavedEvents();
  if (!logger->events_.empty()) {
    logger->lastSavedCount_ = logger->events_.size();
    logger->startFlushTimer();
  }
  std::lock_guard lock(sharedMutex);
  sharedLogger = logger;
  return logger;
}

std::shared_ptr<AdEventLogger> AdEventLogger::shared() {
  std::lock_guard lock(sharedMutex);
  return sharedLogger;
}

void AdEventLogger::resetSharedForTesting() {
  std::shared_ptr<AdEventLogger> previous;
  std::lock_guard lock(sharedMutex);
  previous.swap(sharedLogger);
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

void AdEventLogger::append(AdLogEventType type, platform::Json payload) {
  queue_->addOperation([weak = weak_from_this(), type, payload = std::move(payload)]() mutable {
    if (auto self = weak.lock()) self->appendEvent(AdLogEvent::make(type, std::move(payload)));
  });
}

void AdEventLogger::logImmediateEvents(std::vector<AdLogEvent> events) {
  queue_->addOperation([weak = weak_from_this(), events = std::move(events)]() mutable {
    auto self = weak.lock();
    if (!self) return;
    std::move(events.begin(), events.end(), std::back_inserter(self->events_));
    self->cancelTimers();
    self->flush();
  });
}

std::vector<AdLogEvent> AdEventLogger::queuedEvents() {
  return queue_->queue()->sync([this] { return events_; });
}

void AdEventLogger::appendEvent(AdLogEvent event) {
  const bool wasEmpty = events_.empty();
  events_.push_back(std::move(event));
  if (wasEmpty) startFlushTimer();
  if (events_.size() < kMaxEventCount) {
    requestDelayedSave();
    return;
  }
  // At the threshold the save timer is cancelled right after any re-arm, so none is
  // armed; one pending flush serves every append that reaches it.
  cancelTimers();
  if (!flushScheduled_) {
    flushScheduled_ = true;
    enqueue(&AdEventLogger::scheduledFlush);
  }
}

void AdEventLogger::scheduledFlush() {
  flushScheduled_ = false;
  flush();
}

void AdEventLogger::flush() {
  if (events_.empty()) return;
  if (uploading_) {
    flushRequested_ = true;
    return;
  }
  uploading_ = true;
  flushRequested_ = false;
  const std::uint64_t sentEnd = removedCount_ + events_.size();
  tiloApi_->sendEvents(makeEventsUploadBody(events_),
                       [weak = weak_from_this(), sentEnd](std::exception_ptr error) {
                         platform::runOnMain([weak, sentEnd, error] {
                           auto self = weak.lock();
                           if (!self) return;
                           self->queue_->addOperation([weak, sentEnd, error] {
                             if (auto self = weak.lock()) self->finishUpload(sentEnd, error);
                           });
                         });
                       });
}

void AdEventLogger::finishUpload(std::uint64_t sentEnd, std::exception_ptr error) {
  uploading_ = false;
  if (error) {
    flushRequested_ = false;
    saveAll();
    startFlushTimer();
    log("❌ 이벤트 전송 실패, 디스크에 저장: " + localizedDescription(error), TiloLogLevel::error);
    return;
  }
  // Only removals from the front and appends at the back happen, so the sent events
  // still queued are exactly the first ones.
  const auto sent =
      static_cast<std::size_t>(std::min<std::uint64_t>(sentEnd - removedCount_, events_.size()));
  events_.erase(events_.begin(), events_.begin() + static_cast<std::ptrdiff_t>(sent));
  removedCount_ += sent;
  if (events_.empty()) {
    store_.removeSavedEvents();
    lastSavedCount_ = 0;
    flushRequested_ = false;
    cancelTimers();
    return;
  }
  saveAll();
  startFlushTimer();
  if (flushRequested_) flush();
}

void AdEventLogger::saveAll() {
  if (store_.saveEvents(events_)) lastSavedCount_ = events_.size();
}

void AdEventLogger::saveIfBehind() {
  if (lastSavedCount_ < events_.size()) saveAll();
}

void AdEventLogger::enterBackground() {
  if (events_.empty()) return;
  saveAll();
  cancelTimers();
  flush();
}

void AdEventLogger::startFlushTimer() {
  timersArmed_ = true;
  platform::runOnMain([weak = weak_from_this()] {
    auto self = weak.lock();
    if (!self || self->flushTimer_) return;
    self->flushTimer_ = platform::Timer::scheduled(kFlushInterval, /*repeats=*/true, [weak] {
      auto self = weak.lock();
      if (!self) return;
      self->queue_->addOperation([weak] {
        if (auto self = weak.lock()) self->flush();
      });
    });
  });
}

void AdEventLogger::cancelTimers() {
  if (!timersArmed_) return;
  timersArmed_ = false;
  // Cleared here, on the queue, so an append that follows re-arms the save timer after
  // this cancellation reaches the main thread.
  saveTimerRequested_.store(false);
  platform::runOnMain([weak = weak_from_this()] {
    auto self = weak.lock();
    if (!self) return;
    for (auto* timer : {&self->saveTimer_, &self->flushTimer_}) {
      if (*timer) (*timer)->invalidate();
      timer->reset();
    }
    // Again here: a save timer that fired meanwhile may have re-armed itself.
    self->saveTimerRequested_.store(false);
  });
}

void AdEventLogger::requestDelayedSave() {
  timersArmed_ = true;
  lastAppendUptime_.store(uptime());
  if (saveTimerRequested_.exchange(true)) return;
  platform::runOnMain([weak = weak_from_this()] {
    if (auto self = weak.lock()) self->armSaveTimer(kSaveDelay);
  });
}

void AdEventLogger::armSaveTimer(double delay) {
  if (saveTimer_) saveTimer_->invalidate();
  saveTimer_ = platform::Timer::scheduled(delay, /*repeats=*/false, [weak = weak_from_this()] {
    if (auto self = weak.lock()) self->saveTimerFired();
  });
}

void AdEventLogger::saveTimerFired() {
  // Cleared before reading the last append time: an append racing with this either sees
  // the flag cleared and arms a timer itself, or its time is seen here.
  saveTimerRequested_.store(false);
  const double remaining = lastAppendUptime_.load() + kSaveDelay - uptime();
  if (remaining > 1e-6) {
    saveTimerRequested_.store(true);
    armSaveTimer(remaining);
    return;
  }
  saveTimer_.reset();
  enqueue(&AdEventLogger::saveIfBehind);
}

void logEvent(AdLogEventType type, const TiloAdInfo& adInfo,
              const std::optional<AdResError>& error) {
  if (auto logger = AdEventLogger::shared())
    logger->append(type, makeAdEventPayload(adInfo, error));
}

}  // namespace tilo
