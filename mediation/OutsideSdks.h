// Stand-ins for the outside ad-network SDKs that the adapters prepare before ads load.
// Each call is recorded in CallRecorder::shared() under the class name and selector the
// real SDK publishes; argument texts follow CallRecorder's conventions.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "mediation/NSError.h"

namespace tilo::mediation {

// AppLovin
class ALSdkSettings {
 public:
  void setCreativeDebuggerEnabled(bool enabled);
};

class ALSdk {
 public:
  static ALSdk& shared();
  ALSdkSettings& settings() { return settings_; }

 private:
  ALSdkSettings settings_;
};

class ALPrivacySettings {
 public:
  static void setHasUserConsent(bool consent);
  static void setDoNotSell(bool doNotSell);
};

// Chartboost
struct CHBDataUseConsent {
  std::string kind;  // "CHBGDPRDataUseConsent" or "CHBCCPADataUseConsent"
  int consent = 0;
};

class CHBGDPRDataUseConsent {
 public:
  // 0 non-behavioural, 1 behavioural.
  static CHBDataUseConsent gdprConsent(int consent) { return {"CHBGDPRDataUseConsent", consent}; }
};

class CHBCCPADataUseConsent {
 public:
  // 0 opt out of sale, 1 opt in to sale.
  static CHBDataUseConsent ccpaConsent(int consent) { return {"CHBCCPADataUseConsent", consent}; }
};

class Chartboost {
 public:
  // Recorded as "CHBGDPRDataUseConsent(1)".
  static void addDataUseConsent(const CHBDataUseConsent& consent);
};

// DT Exchange
class IASDKCore {
 public:
  static IASDKCore& sharedInstance();
  void setGDPRConsent(bool consent);
  void setGDPRConsentString(const std::string& consentString);
  void setCCPAString(const std::string& ccpaString);
};

// InMobi
class IMCommonConstants {
 public:
  static constexpr const char* IM_GDPR_CONSENT_AVAILABLE = "gdpr_consent_available";
};

class GADMInMobiConsent {
 public:
  // Recorded as the dictionary's compact JSON text, keys sorted.
  static void updateGDPRConsent(const std::map<std::string, std::string>& consent);
};

class IMSdk {
 public:
  // 0 none, 1 error, 2 debug.
  static void setLogLevel(int level);
};

// IronSource
class IronSource {
 public:
  static void setConsent(bool consent);
  // Recorded as "key=value".
  static void setMetaDataWithKey(const std::string& key, const std::string& value);
};

// Meta Audience Network
class FBAdSettings {
 public:
  static void setLogLevel(int level);
  static void setAdvertiserTrackingEnabled(bool enabled);
};

// Mintegral
class MTGSDK {
 public:
  static MTGSDK& sharedInstance();
  void setConsentStatus(bool consent);
  void setDoNotTrackStatus(bool doNotTrack);
};

// Vungle
class VunglePrivacySettings {
 public:
  static void setGDPRStatus(bool optedIn);
  static void setCCPAStatus(bool optedIn);
};

// Amazon Publisher Services
class APSInitConfig {
 public:
  void setMraidPolicy(int policy) { mraidPolicy_ = policy; }
  void setUseGeolocation(bool use) { useGeolocation_ = use; }
  void setTestMode(bool testMode) { testMode_ = testMode; }
  void setLogLevel(int level) { logLevel_ = level; }
  // "mraidPolicy=0 useGeolocation=true testMode=false logLevel=7"
  std::string description() const;

 private:
  int mraidPolicy_ = 0;
  bool useGeolocation_ = false;
  bool testMode_ = false;
  int logLevel_ = 0;
};

class APS {
 public:
  // Recorded as "<appKey> <config description>". Completes on the main executor, with an
  // error when the ad source's "start" script marks "APS" notReady.
  static void initializeWithAppKey(const std::string& appKey, const APSInitConfig& config,
                                   std::function<void(std::optional<NSError>)> completion);
};

}  // namespace tilo::mediation
