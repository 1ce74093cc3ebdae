#include "mediation/OutsideSdks.h"

#include "mediation/AdSource.h"
#include "mediation/CallRecorder.h"
#include "mediation/demand/PrivacySignals.h"
#include "platform/Environment.h"
#include "platform/Json.h"

namespace tilo::mediation {
namespace {

void record(const char* sdk, const char* method, std::string value) {
  CallRecorder::shared().record(sdk, method, std::move(value));
}

}  // namespace

void ALSdkSettings::setCreativeDebuggerEnabled(bool enabled) {
  record("ALSdkSettings", "setCreativeDebuggerEnabled:", boolText(enabled));
}

ALSdk& ALSdk::shared() {
  static ALSdk sdk;
  return sdk;
}

void ALPrivacySettings::setHasUserConsent(bool consent) {
  record("ALPrivacySettings", "setHasUserConsent:", boolText(consent));
}

void ALPrivacySettings::setDoNotSell(bool doNotSell) {
  record("ALPrivacySettings", "setDoNotSell:", boolText(doNotSell));
}

void Chartboost::addDataUseConsent(const CHBDataUseConsent& consent) {
  record("Chartboost",
         "addDataUseConsent:", consent.kind + "(" + std::to_string(consent.consent) + ")");
}

IASDKCore& IASDKCore::sharedInstance() {
  static IASDKCore core;
  return core;
}

void IASDKCore::setGDPRConsent(bool consent) {
  record("IASDKCore", "setGDPRConsent:", boolText(consent));
}

void IASDKCore::setGDPRConsentString(const std::string& consentString) {
  record("IASDKCore", "setGDPRConsentString:", consentString);
  demand::PrivacySignals::shared().hearGdprConsentString(consentString);
}

void IASDKCore::setCCPAString(const std::string& ccpaString) {
  record("IASDKCore", "setCCPAString:", ccpaString);
  demand::PrivacySignals::shared().hearUsPrivacyString(ccpaString);
}

void GADMInMobiConsent::updateGDPRConsent(const std::map<std::string, std::string>& consent) {
  platform::Json json = platform::Json::object();
  for (const auto& [key, value] : consent) json[key] = value;
  record("GADMInMobiConsent", "updateGDPRConsent:", platform::dumpCompact(json));
}

void IMSdk::setLogLevel(int level) {
  record("IMSdk", "setLogLevel:", std::to_string(level));
}

void IronSource::setConsent(bool consent) {
  record("IronSource", "setConsent:", boolText(consent));
}

void IronSource::setMetaDataWithKey(const std::string& key, const std::string& value) {
  record("IronSource", "setMetaDataWithKey:value:", key + "=" + value);
}

void FBAdSettings::setLogLevel(int level) {
  record("FBAdSettings", "setLogLevel:", std::to_string(level));
}

void FBAdSettings::setAdvertiserTrackingEnabled(bool enabled) {
  record("FBAdSettings", "setAdvertiserTrackingEnabled:", boolText(enabled));
  demand::PrivacySignals::shared().hearTrackingAuthorized(enabled);
}

MTGSDK& MTGSDK::sharedInstance() {
  static MTGSDK sdk;
  return sdk;
}

void MTGSDK::setConsentStatus(bool consent) {
  record("MTGSDK", "setConsentStatus:", boolText(consent));
}

void MTGSDK::setDoNotTrackStatus(bool doNotTrack) {
  record("MTGSDK", "setDoNotTrackStatus:", boolText(doNotTrack));
}

void VunglePrivacySettings::setGDPRStatus(bool optedIn) {
  record("VunglePrivacySettings", "setGDPRStatus:", boolText(optedIn));
}

void VunglePrivacySettings::setCCPAStatus(bool optedIn) {
  record("VunglePrivacySettings", "setCCPAStatus:", boolText(optedIn));
}

std::string APSInitConfig::description() const {
  return "mraidPolicy=" + std::to_string(mraidPolicy_) +
         " useGeolocation=" + boolText(useGeolocation_) + " testMode=" + boolText(testMode_) +
         " logLevel=" + std::to_string(logLevel_);
}

void APS::initializeWithAppKey(const std::string& appKey, const APSInitConfig& config,
                               std::function<void(std::optional<NSError>)> completion) {
  record("APS", "initializeWithAppKey:config:completion:", appKey + " " + config.description());
  const auto states = AdSource::shared().startStates();
  const auto aps = states.find("APS");
  std::optional<NSError> error;
  if (aps != states.end() && !aps->second) {
    error = NSError{"com.amazon.aps", 1, "APS initialization failed."};
  }
  platform::postToMain([completion = std::move(completion), error] {
    if (completion) completion(error);
  });
}

}  // namespace tilo::mediation
