#include "mediation/demand/PrivacySignals.h"

#include <utility>

namespace tilo::mediation::demand {

PrivacySignals& PrivacySignals::shared() {
  static auto* signals = new PrivacySignals();  // kept for the process: adapters run late
  return *signals;
}

void PrivacySignals::hearChildDirected(std::optional<bool> tag) {
  std::lock_guard lock(mutex_);
  heard_.childDirected = tag;
}

void PrivacySignals::hearGdprConsentString(std::string value) {
  std::lock_guard lock(mutex_);
  heard_.gdprConsentString = std::move(value);
}

void PrivacySignals::hearUsPrivacyString(std::string value) {
  std::lock_guard lock(mutex_);
  heard_.usPrivacyString = std::move(value);
}

void PrivacySignals::hearTrackingAuthorized(bool authorized) {
  std::lock_guard lock(mutex_);
  heard_.trackingAuthorized = authorized;
}

void PrivacySignals::commit() {
  std::lock_guard lock(mutex_);
  current_ = std::exchange(heard_, PrivacyChoices{});
}

PrivacyChoices PrivacySignals::current() const {
  std::lock_guard lock(mutex_);
  return current_;
}

void PrivacySignals::reset() {
  std::lock_guard lock(mutex_);
  heard_ = current_ = PrivacyChoices{};
}

}  // namespace tilo::mediation::demand
