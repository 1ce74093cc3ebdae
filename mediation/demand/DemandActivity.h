// Work of real demand that has not finished: bid requests, creative downloads and
// trackers queued or on the wire. Lets tests tell a pending answer from an idle SDK
// before they fast-forward the clock, as NetworkClient::requestsInFlight does for the
// backend. Any thread.
#pragma once

#include <atomic>

namespace tilo::mediation::demand {

class DemandActivity {
 public:
  static int inFlight() { return count().load(); }
  static void begin() { ++count(); }
  static void end() { --count(); }

 private:
  static std::atomic<int>& count() {
    static std::atomic<int> value{0};
    return value;
  }
};

}  // namespace tilo::mediation::demand
