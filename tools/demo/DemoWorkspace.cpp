#include "tools/demo/DemoWorkspace.h"

#include <stdlib.h>

#include <span>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "Tilo/base/KeyCrypto.h"
#include "Tilo/base/TiloKeyManager.h"
#include "platform/AppContainer.h"
#include "platform/Bundle.h"
#include "platform/Device.h"
#include "platform/FileSystem.h"
#include "platform/Json.h"
#include "platform/PlistValue.h"

namespace tilo::demo {
namespace {

namespace fs = std::filesystem;
using platform::Json;

constexpr const char* kBundleIdentifier = "com.tilo.demo";

// The mediation unit behind each demo unit, in the shape the mediation platform uses.
std::string mediationUnitId(DemoFormat format) {
  return "ca-app-pub-3940000000000000/" + std::to_string(1001 + static_cast<int>(format));
}

fs::path makeTemporaryFolder() {
  std::string pattern = (fs::temp_directory_path() / "tilo-demo-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
  return pattern;
}

void writeGeneratedBundle(const fs::path& dir, const std::string& appKey) {
  platform::FileSystem::createDirectories(dir);
  const std::string config = embeddedConfigurationJson(appKey);
  auto sealed = encryptPayload(
      appKey, std::span(reinterpret_cast<const std::uint8_t*>(config.data()), config.size()));
  const platform::PlistValue info(
      platform::PlistValue::Dictionary{{"TiloAppKey", appKey},
                                       {"CFBundleIdentifier", kBundleIdentifier},
                                       {"CFBundleDisplayName", "Tilo Demo"}});
  if (!sealed || !platform::FileSystem::atomicWrite(dir / "ios-tilo-key.txt", *sealed + "\n") ||
      !platform::FileSystem::atomicWrite(dir / "Info.plist", info.toXml())) {
    throw std::runtime_error("cannot write the bundle in " + dir.string());
  }
}

}  // namespace

DemoWorkspace DemoWorkspace::prepare(const DemoOptions& options, std::ostream& out) {
  DemoWorkspace workspace;
  if (!options.container) workspace.temporary_ = makeTemporaryFolder();
  workspace.container_ =
      options.container ? fs::path(*options.container) : *workspace.temporary_ / "container";
  platform::FileSystem::createDirectories(workspace.container_);

  if (options.bundle) {
    workspace.bundle_ = *options.bundle;
    out << "bundle " << workspace.bundle_.string() << "\n";
  } else {
    workspace.bundle_ =
        (options.container ? workspace.container_ : *workspace.temporary_) / "bundle";
    const bool reused = platform::FileSystem::exists(workspace.bundle_ / "Info.plist");
    if (!reused) {
      writeGeneratedBundle(workspace.bundle_, "demo-" + platform::makeUUIDString(true));
    }
    out << "bundle " << workspace.bundle_.string() << (reused ? " (reused)" : " (generated)")
        << "\n";
  }
  out << "container " << workspace.container_.string() << "\n";

  platform::Bundle::setMainBundleDirectory(workspace.bundle_);
  platform::AppContainer::setPath(workspace.container_);
  // The SDK's own reading: a bundle without an app key is reported with its message.
  auto keys = TiloKeyManager::shared();
  if (!keys)
    throw std::runtime_error("the bundle in " + workspace.bundle_.string() + " has no app key");
  workspace.appKey_ = keys->appKey();
  return workspace;
}

DemoWorkspace::DemoWorkspace(DemoWorkspace&& other) noexcept
    : bundle_(std::move(other.bundle_)),
      container_(std::move(other.container_)),
      appKey_(std::move(other.appKey_)),
      temporary_(std::exchange(other.temporary_, std::nullopt)) {}

DemoWorkspace::~DemoWorkspace() {
  if (!temporary_) return;
  std::error_code ignored;
  fs::remove_all(*temporary_, ignored);
}

std::string embeddedConfigurationJson(const std::string& appKey) {
  const Json config = {
      {"appKey", appKey},
      {"platform", "ios"},
      {"storeId", "6450000000"},
      {"storeUrl", "https://apps.apple.com/app/id6450000000"},
      {"admobKey", "ca-app-pub-3940000000000000~1000000000"},
      {"applovinSdkKey", "demo-applovin-sdk-key"},
      {"apsAppId", "demo-aps-app-id"},
      {"apsSlotUUIDs", {{{"type", "banner"}, {"uuid", "demo-aps-banner-slot"}}}},
  };
  return platform::dumpCompact(config);
}

std::string embeddedAppInfoJson() {
  Json units = Json::array();
  for (const auto& [format, unitId] : defaultUnits()) {
    Json unit = {{"tiloAdUnitId", unitId},
                 {"mediationAdUnitId", mediationUnitId(format)},
                 {"name", "Demo " + std::string(demoFormatName(format))},
                 {"type", std::string(backendUnitType(format))}};
    if (format == DemoFormat::banner || format == DemoFormat::mrec) unit["refreshInterval"] = 30;
    if (backendUnitType(format) == "native") unit["refreshInterval"] = 60;
    units.push_back(std::move(unit));
  }
  // The fee rate as the backend sends it: a JSON number.
  return platform::dumpCompact(Json{{"adUnits", std::move(units)},
                                    {"feeRate", 0.15},
                                    {"sdkConfig", {{"enableMarkerCheckpoints", true}}}});
}

std::string embeddedScenarioJson() {
  const Json scenario = {
      {"start", {{"GADMobileAds", "ready"}}},
      {"default",
       {{"result", "fill"},
        {"delayMs", 120},
        {"network", "AdMob"},
        {"latencies", {0.05, 0.12}},
        {"revenue", {{"value", "0.0125"}, {"currency", "USD"}, {"precision", 3}}},
        {"click", true},
        {"dismissAfterMs", 1500},
        {"testCreatives", true}}},
      {"units",
       {{mediationUnitId(DemoFormat::rewarded),
         {{"reward", {{"amount", 10}, {"type", "coins"}}}, {"countdownMs", 1000}}},
        {mediationUnitId(DemoFormat::banner), {{"adSize", {320, 50}}}},
        {mediationUnitId(DemoFormat::mrec), {{"adSize", {300, 250}}}},
        {mediationUnitId(DemoFormat::lineBanner),
         {{"native",
           {{"headline", "Tilo Puzzle Quest: a new world every week"},
            {"callToAction", "Play"}}}}}}},
  };
  return platform::dumpCompact(scenario);
}

}  // namespace tilo::demo
