// What the platform's start reports: the state of each mediation adapter.
#pragma once

#include <map>
#include <string>

namespace tilo::mediation {

struct GADAdapterStatus {
  enum State : int { notReady = 0, ready = 1 };
  int state = notReady;
  std::string description;
  double latency = 0;  // seconds the adapter took to start
};

class GADInitializationStatus {
 public:
  explicit GADInitializationStatus(std::map<std::string, GADAdapterStatus> statuses)
      : statuses_(std::move(statuses)) {}
  // Keyed by adapter class name; "GADMobileAds" is the platform itself.
  const std::map<std::string, GADAdapterStatus>& adapterStatusesByClassName() const {
    return statuses_;
  }

 private:
  std::map<std::string, GADAdapterStatus> statuses_;
};

}  // namespace tilo::mediation
