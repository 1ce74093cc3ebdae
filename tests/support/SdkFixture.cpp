#include "support/SdkFixture.h"

#include <cctype>
#include <stdexcept>

#include "Tilo/backend/NetworkClient.h"
#include "Tilo/base/ApiBaseUrl.h"
#include "Tilo/base/KeyCrypto.h"
#include "Tilo/entry/TiloAds.h"
#include "mediation/AdSource.h"
#include "mediation/demand/Demand.h"
#include "mediation/demand/DemandActivity.h"
#include "mediation/demand/PrivacySignals.h"
#include "platform/AppContainer.h"
#include "platform/Bundle.h"
#include "platform/FileSystem.h"

namespace tilo::test {

SdkFixtureOptions SdkFixtureOptions::hostApiUnits() {
  SdkFixtureOptions options;
  options.appInfoJson =
      SdkFixture::appInfoJson({"inter:interstitial", "reward:rewarded", "open:appOpen",
                               "banner:banner", "mrec:mrec", "native:native"});
  return options;
}

SdkFixture::SdkFixture(SdkFixtureOptions options) : options_(std::move(options)) {
  if (options_.configJson.empty()) options_.configJson = defaultConfigJson(options_.appKey);
  if (options_.appInfoJson.empty()) options_.appInfoJson = defaultAppInfoJson();
  writeInfoPlist(bundle_.path(), {{"TiloAppKey", options_.appKey},
                                  {"CFBundleIdentifier", options_.bundleIdentifier}});
  platform::FileSystem::atomicWrite(bundle_.path() / "ios-tilo-key.txt",
                                    sealKeyFile(options_.appKey, options_.configJson) + "\n");
  platform::Bundle::setMainBundleDirectory(bundle_.path());
  platform::AppContainer::setPath(container_.path());
  if (options_.backend) {
    server_ = startBackend(options_.appKey, options_.appInfoJson, options_.campaigns);
  }
  setApiBaseUrlOverride(baseUrl());
  // The source a fresh process starts with, whatever scenario an earlier test left.
  mediation::AdSource::shared().useBuiltInTestAds();
  TiloAds::resetSharedForTesting();
}

SdkFixture::~SdkFixture() {
  TiloAds::resetSharedForTesting();
  (void)mediation::demand::Demand::setDemandUrl(std::nullopt);
  mediation::demand::Demand::setStoreUrl(std::nullopt);
  mediation::demand::PrivacySignals::shared().reset();
  if (server_) server_->stop();
  setApiBaseUrlOverride(std::nullopt);
  platform::Bundle::setMainBundleDirectory(std::nullopt);
  platform::AppContainer::setPath(std::nullopt);
}

std::string SdkFixture::baseUrl() const {
  // Port 1 on loopback is closed: connections are refused at once.
  return server_ ? server_->baseUrl() : "http://127.0.0.1:1";
}

int SdkFixture::requestsInFlight() {
  return NetworkClient::requestsInFlight() + mediation::demand::DemandActivity::inFlight();
}

bool SdkFixture::drive(const std::function<bool()>& done, double maxMockSeconds) {
  const double deadline = env_.clock().uptime() + maxMockSeconds;
  for (;;) {
    env_.runUntilIdle();
    if (done()) return true;
    if (requestsInFlight() > 0) {
      // A real answer is on its way; never let mock time overtake it.
      if (!env_.runUntil([] { return requestsInFlight() == 0; }, 30)) return done();
      continue;
    }
    auto next = env_.nextDelay();
    const double now = env_.clock().uptime();
    if (!next || now + *next > deadline) {
      env_.advance(deadline - now);
      return done();
    }
    env_.advance(*next);
  }
}

void SdkFixture::relaunch() {
  TiloAds::resetSharedForTesting();
}

std::string SdkFixture::defaultConfigJson(const std::string& appKey) {
  platform::Json json = {{"appKey", appKey},
                         {"platform", "ios"},
                         {"storeId", "1234567890"},
                         {"storeUrl", "https://apps.example.com/app/1234567890"},
                         {"admobKey", "ca-app-pub-0000000000000000~0000000000"},
                         {"apsSlotUUIDs", {{{"type", "banner"}, {"uuid", "slot-banner-1"}}}}};
  return platform::dumpCompact(json);
}

std::string SdkFixture::defaultAppInfoJson() {
  return R"({"adUnits":[)"
         R"({"tiloAdUnitId":"banner-unit","mediationAdUnitId":"ca-app-pub-0/banner","name":"Banner","type":"banner","refreshInterval":45},)"
         R"({"tiloAdUnitId":"interstitial-unit","mediationAdUnitId":"ca-app-pub-0/inter","name":"Interstitial","type":"interstitial"}],)"
         R"("feeRate":0.15,"sdkConfig":{"enableMarkerCheckpoints":true}})";
}

std::string SdkFixture::appInfoJson(const std::vector<std::string>& units) {
  platform::Json list = platform::Json::array();
  for (const auto& unit : units) {
    const std::string id = unit.substr(0, unit.find(':')), type = unit.substr(id.size() + 1);
    list.push_back({{"tiloAdUnitId", id},
                    {"mediationAdUnitId", "gad/" + id},
                    {"name", std::string(1, static_cast<char>(std::toupper(id[0])))},
                    {"type", type}});
    if (type == "banner" || type == "mrec" || type == "native") list.back()["refreshInterval"] = 0;
  }
  return platform::Json{{"adUnits", list}, {"feeRate", 0.15}}.dump();
}

void SdkFixture::writeInfoPlist(const std::filesystem::path& dir,
                                platform::PlistValue::Dictionary values) {
  if (!values.count("CFBundleIdentifier")) values.emplace("CFBundleIdentifier", "com.tilo.tests");
  if (!platform::FileSystem::atomicWrite(dir / "Info.plist",
                                         platform::PlistValue(values).toXml())) {
    throw std::runtime_error("cannot write Info.plist");
  }
}

std::string SdkFixture::sealKeyFile(const std::string& appKey, const std::string& configJson) {
  auto text = encryptPayload(
      appKey,
      std::span(reinterpret_cast<const std::uint8_t*>(configJson.data()), configJson.size()));
  if (!text) throw std::runtime_error("cannot seal key file");
  return *text;
}

void SdkFixture::writeBundle(const std::filesystem::path& dir, const std::string& appKey,
                             const std::string& bundleIdentifier) {
  writeInfoPlist(dir, {{"TiloAppKey", appKey}, {"CFBundleIdentifier", bundleIdentifier}});
  if (!platform::FileSystem::atomicWrite(dir / "ios-tilo-key.txt",
                                         sealKeyFile(appKey, defaultConfigJson(appKey)))) {
    throw std::runtime_error("cannot write the key file");
  }
}

std::shared_ptr<devserver::DevServer> SdkFixture::startBackend(
    const std::string& appKey, const std::string& appInfoJson,
    std::shared_ptr<const devserver::Campaigns> campaigns) {
  devserver::DevServerOptions options;
  options.appKey = appKey;
  options.appInfoJson = appInfoJson;
  options.campaigns = std::move(campaigns);
  std::string error;
  auto server = devserver::DevServer::start(options, &error);
  if (!server) throw std::runtime_error("dev server: " + error);
  return server;
}

}  // namespace tilo::test
