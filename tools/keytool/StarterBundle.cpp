#include "tools/keytool/StarterBundle.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <span>
#include <system_error>

#include "Tilo/base/KeyCrypto.h"
#include "platform/FileSystem.h"
#include "platform/Json.h"
#include "platform/PlistValue.h"
#include "tools/devserver/SampleCampaigns.h"

namespace tilo::keytool {
namespace {

namespace fs = std::filesystem;
using platform::Json;

struct Unit {
  const char* id;    // the host's unit id: the format's name
  const char* type;  // the backend's unit type (a line banner is a native unit)
  const char* name;
  int refreshInterval;  // 0: no key, the SDK's default
};

constexpr std::array<Unit, 8> kUnits = {{
    {"banner", "banner", "Banner", 30},
    {"mrec", "mrec", "MREC", 30},
    {"interstitial", "interstitial", "Interstitial", 0},
    {"rewarded", "rewarded", "Rewarded", 0},
    {"native", "native", "Native", 60},
    {"lightPopup", "lightPopup", "Light popup", 0},
    {"lineBanner", "native", "Line banner", 60},
    {"appOpen", "appOpen", "App open", 0},
}};

std::string configurationJson(const std::string& appKey) {
  return platform::dumpCompact(Json{{"appKey", appKey},
                                    {"platform", "ios"},
                                    {"storeId", "1234567890"},
                                    {"admobKey", "ca-app-pub-0000000000000000~0000000000"}});
}

// The folder must be new or empty: init never replaces a bundle someone already has.
// Returns whether it was created here.
bool prepareFolder(const fs::path& dir) {
  std::error_code error;
  const auto status = fs::status(dir, error);
  if (error && error != std::errc::no_such_file_or_directory) {
    throw InitError("cannot use " + dir.string() + ": " + error.message());
  }
  if (fs::exists(status)) {
    if (!fs::is_directory(status)) {
      throw InitError(dir.string() +
                      " exists and is not a folder; give the path of a new folder (init "
                      "creates it) or of an empty one");
    }
    fs::directory_iterator entries(dir, error);
    if (error) throw InitError("cannot read the folder " + dir.string() + ": " + error.message());
    if (entries != fs::directory_iterator()) {
      throw InitError(dir.string() + " is not empty (it holds \"" +
                      entries->path().filename().string() +
                      "\"); init writes only into a new or empty folder so that it never "
                      "replaces a bundle: give a new path, or empty the folder first");
    }
  } else {
    fs::create_directories(dir, error);
    if (error) {
      throw InitError("cannot create the folder " + dir.string() + ": " + error.message() +
                      "; give a path where you can create folders");
    }
  }
  if (::access(dir.c_str(), W_OK | X_OK) != 0) {
    const std::string reason = std::strerror(errno);
    throw InitError("cannot write into " + dir.string() + ": " + reason +
                    "; give a folder you can write to");
  }
  return !fs::exists(status);
}

}  // namespace

const std::vector<std::string>& StarterBundle::unitIds() {
  static const std::vector<std::string> ids = [] {
    std::vector<std::string> list;
    for (const Unit& unit : kUnits) list.emplace_back(unit.id);
    return list;
  }();
  return ids;
}

std::string StarterBundle::appInfoJson() {
  Json units = Json::array();
  for (const Unit& unit : kUnits) {
    Json item = {{"tiloAdUnitId", unit.id},
                 {"mediationAdUnitId", std::string("ca-app-pub-0000000000000000/") + unit.id},
                 {"name", unit.name},
                 {"type", unit.type}};
    if (unit.refreshInterval > 0) item["refreshInterval"] = unit.refreshInterval;
    units.push_back(std::move(item));
  }
  return Json{{"adUnits", std::move(units)}, {"feeRate", 0.15}}.dump(2) + "\n";
}

std::string StarterBundle::appName(const fs::path& dir) {
  std::error_code error;
  fs::path path = fs::absolute(dir, error).lexically_normal();
  if (error) path = dir.lexically_normal();
  if (path.filename().empty()) path = path.parent_path();
  const std::string name = path.filename().string();
  return name.empty() ? "game" : name;
}

std::string StarterBundle::bundleIdFor(const fs::path& dir) {
  std::string name = appName(dir);
  for (char& c : name) {
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                         (c >= '0' && c <= '9') || c == '-' || c == '.';
    if (!allowed) c = '-';
  }
  return "com.example." + name;
}

void StarterBundle::write(const fs::path& dir, const std::string& appKey,
                          const std::string& bundleId) {
  const bool created = prepareFolder(dir);
  const std::string config = configurationJson(appKey);
  const auto sealed = encryptPayload(
      appKey, std::span(reinterpret_cast<const std::uint8_t*>(config.data()), config.size()));
  if (!sealed) throw InitError("cannot encrypt the configuration");
  const platform::PlistValue info(platform::PlistValue::Dictionary{
      {"TiloAppKey", appKey},
      {"CFBundleIdentifier", bundleId},
      {"CFBundleDisplayName", appName(dir)},
      {"TiloDemandURL", kDemandUrl}});

  std::vector<std::pair<std::string, std::string>> files = {{std::string(kInfoPlist), info.toXml()},
                                                            {std::string(kKeyFile), *sealed + "\n"},
                                                            {std::string(kAppInfo), appInfoJson()}};
  // House ads for the devserver's exchange, which TiloDemandURL points at.
  for (auto& file : devserver::SampleCampaigns::files()) {
    files.emplace_back(std::move(file.name), std::move(file.content));
  }
  for (const auto& [name, content] : files) {
    if (platform::FileSystem::atomicWrite(dir / name, content)) continue;
    for (const auto& [written, unused] : files) platform::FileSystem::removeFile(dir / written);
    if (created) {
      std::error_code ignored;
      fs::remove(dir, ignored);
    }
    throw InitError("cannot write " + (dir / name).string());
  }
}

}  // namespace tilo::keytool
