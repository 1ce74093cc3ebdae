#include "mediation/demand/TrackerClient.h"

#include <utility>
#include <vector>

#include "mediation/demand/BidResponseDecoder.h"
#include "mediation/demand/DemandActivity.h"
#include "platform/Environment.h"

namespace tilo::mediation::demand {

std::shared_ptr<TrackerClient> TrackerClient::shared() {
  // Kept for the process, like the HTTP client it sends through.
  static auto* const client =
      new std::shared_ptr<TrackerClient>(std::make_shared<TrackerClient>(nullptr));
  return *client;
}

TrackerClient::TrackerClient(std::shared_ptr<platform::HttpClient> http) : http_(std::move(http)) {}

void TrackerClient::fire(std::string url) {
  {
    std::lock_guard lock(mutex_);
    if (!BidResponseDecoder::isUsableUrl(url) || queued_.size() >= kMaxQueued) return;
    queued_.push_back(std::move(url));
  }
  DemandActivity::begin();
  pump();
}

void TrackerClient::pump() {
  std::vector<std::string> starting;
  {
    std::lock_guard lock(mutex_);
    while (inFlight_ < kMaxInFlight && !queued_.empty()) {
      starting.push_back(std::move(queued_.front()));
      queued_.pop_front();
      ++inFlight_;
    }
  }
  // The process-wide client, looked up per send: a shutdown replaces it.
  const auto http = http_ ? http_ : platform::HttpClient::shared();
  for (auto& url : starting) {
    platform::HttpRequest request;
    request.url = std::move(url);
    request.timeoutSeconds = kTimeoutSeconds;
    request.maxResponseBytes = kMaxResponseBytes;
    std::weak_ptr<TrackerClient> weak = weak_from_this();
    // On the HTTP thread; the next send only queues work for that thread.
    http->send(std::move(request), [weak](platform::HttpResult) {
      if (auto self = weak.lock()) {
        {
          std::lock_guard lock(self->mutex_);
          --self->inFlight_;
        }
        self->pump();
      }
      DemandActivity::end();
      // The only demand work that ends on the HTTP thread: a task tells whoever waits on the
      // environment's queues for the demand to settle (a test's mock environment) to look.
      platform::postBackground([] {});
    });
  }
}

}  // namespace tilo::mediation::demand
