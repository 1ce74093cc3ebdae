// Fire-and-forget GETs for win, billing and loss notices and for impression and click
// trackers: off the main thread, at most kMaxInFlight at once and kMaxQueued waiting
// (beyond that a URL is dropped), each answer read to at most
// kMaxResponseBytes, never retried, never redirected, and only to http(s) URLs in
// printable ASCII (anything else is dropped). What the server answers does not matter:
// the request is the notice.
//
//   TrackerClient::shared()->fire("https://exchange.example/win?price=2.5");
//
// Any thread.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "platform/HttpClient.h"

namespace tilo::mediation::demand {

class TrackerClient : public std::enable_shared_from_this<TrackerClient> {
 public:
  static constexpr std::size_t kMaxQueued = 64;
  static constexpr std::size_t kMaxInFlight = 4;
  static constexpr std::size_t kMaxResponseBytes = 16 * 1024;
  static constexpr double kTimeoutSeconds = 10;

  static std::shared_ptr<TrackerClient> shared();
  explicit TrackerClient(std::shared_ptr<platform::HttpClient> http);

  void fire(std::string url);

 private:
  void pump();

  std::shared_ptr<platform::HttpClient> http_;
  std::mutex mutex_;
  std::deque<std::string> queued_;
  std::size_t inFlight_ = 0;
};

}  // namespace tilo::mediation::demand
