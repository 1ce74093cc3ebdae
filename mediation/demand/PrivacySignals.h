// The host's privacy choices as the networks heard them, for the bid requests of real
// demand.
//
// The SDK prepares every network from one privacy snapshot per initialization: the
// platform's request configuration hears the child-directed tag, DT Exchange the GDPR
// consent and CCPA strings, Meta whether tracking is authorized. The stand-ins of those
// SDKs report here what they heard; the platform's start, which comes after every
// network was prepared, makes that the snapshot in force. A choice the host did not make
// is not forwarded, so it is absent from the next snapshot and the exchange hears
// nothing of it.
//
//   PrivacySignals::shared().hearGdprConsentString("CPXxRfAPXxRfAAfKABENB-CgAAAAAAAAAAYgAAAAAAAA");
//   PrivacySignals::shared().commit();                 // GADMobileAds' start
//   auto choices = PrivacySignals::shared().current();  // read by each bid request
//
// Any thread.
#pragma once

#include <mutex>
#include <optional>
#include <string>

namespace tilo::mediation::demand {

struct PrivacyChoices {
  std::optional<bool> childDirected;             // COPPA
  std::optional<std::string> gdprConsentString;  // IAB TCF
  std::optional<std::string> usPrivacyString;    // CCPA, e.g. "1YNN"
  std::optional<bool> trackingAuthorized;

  bool operator==(const PrivacyChoices&) const = default;
};

class PrivacySignals {
 public:
  static PrivacySignals& shared();

  void hearChildDirected(std::optional<bool> tag);
  void hearGdprConsentString(std::string value);
  void hearUsPrivacyString(std::string value);
  void hearTrackingAuthorized(bool authorized);
  // What was heard since the last commit becomes the choices in force.
  void commit();
  PrivacyChoices current() const;
  void reset();

 private:
  mutable std::mutex mutex_;
  PrivacyChoices heard_, current_;
};

}  // namespace tilo::mediation::demand
