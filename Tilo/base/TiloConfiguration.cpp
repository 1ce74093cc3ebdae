#include "Tilo/base/TiloConfiguration.h"

#include <algorithm>

#include "Tilo/base/ApiBaseUrl.h"
#include "Tilo/base/ConfigurationError.h"
#include "Tilo/base/KeyCrypto.h"
#include "platform/Bundle.h"
#include "platform/FileSystem.h"

namespace tilo {
namespace pf = tilo::platform;

namespace {

APSSlotUUID decodeSlot(const pf::ParsedJson& json) {
  pf::requireObject(json, "apsSlotUUIDs");
  return {pf::required<std::string>(json, "type"), pf::required<std::string>(json, "uuid")};
}

// Structural UTF-8 check (lead byte, continuation bytes); the key file is Base64, so
// anything beyond this is caught by decoding.
bool isValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t extra = lead < 0x80           ? 0
                              : (lead >> 5) == 0x6  ? 1
                              : (lead >> 4) == 0xE  ? 2
                              : (lead >> 3) == 0x1E ? 3
                                                    : 4;
    if (extra == 4 || i + extra >= text.size() + (extra == 0)) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) >> 6) != 0x2) return false;
    }
    i += extra + 1;
  }
  return true;
}

std::string decryptFailure() {
  return std::string(
             "Failed to decrypt ios-tilo-key.txt, Please verify your ios-tilo-key.txt file and "
             "Tilo App Key at ") +
         kPublisherDashboardUrl;
}

}  // namespace

TiloConfiguration TiloConfiguration::decode(const pf::ParsedJson& json) {
  pf::requireObject(json);
  // Every missing key at once: an integrator fixing the file should not need one try per key.
  std::string missing;
  for (const char* key : {"appKey", "platform", "storeId"}) {
    if (!json.contains(key)) missing += std::string(missing.empty() ? "" : ", ") + '"' + key + '"';
  }
  if (missing.find(',') != std::string::npos) {
    throw pf::DecodingError(pf::DecodingError::Kind::keyNotFound, "keys " + missing + " not found");
  }
  TiloConfiguration config;
  config.appKey = pf::required<std::string>(json, "appKey");
  // The app key travels in the "Tilo-App-Key" header: a CR or LF in it would inject
  // headers, and no dashboard issues a key with any control character.
  if (std::any_of(config.appKey.begin(), config.appKey.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; })) {
    throw pf::DecodingError(pf::DecodingError::Kind::dataCorrupted,
                            "key \"appKey\" holds a control character");
  }
  config.platform = pf::required<std::string>(json, "platform");
  config.storeURL = pf::optional<std::string>(json, "storeUrl");
  config.storeID = pf::required<std::string>(json, "storeId");
  config.admobKey = pf::optional<std::string>(json, "admobKey");
  config.applovinSDKKey = pf::optional<std::string>(json, "applovinSdkKey");
  config.apsAppID = pf::optional<std::string>(json, "apsAppId");
  if (auto slots = pf::optional<pf::ParsedJson>(json, "apsSlotUUIDs")) {
    pf::requireArray(*slots, "apsSlotUUIDs");
    std::vector<APSSlotUUID> list;
    for (const auto& slot : *slots) list.push_back(decodeSlot(slot));
    config.apsSlotUUIDs = std::move(list);
  }
  config.verveToken = pf::optional<std::string>(json, "verveToken");
  config.smaatoPublisherID = pf::optional<std::string>(json, "smaatoPublisherId");
  return config;
}

pf::Json TiloConfiguration::encode() const {
  pf::Json json = pf::Json::object();
  auto put = [&json](const char* key, const std::optional<std::string>& value) {
    if (value) json[key] = *value;
  };
  json["appKey"] = appKey;
  json["platform"] = platform;
  put("storeUrl", storeURL);
  json["storeId"] = storeID;
  put("admobKey", admobKey);
  put("applovinSdkKey", applovinSDKKey);
  put("apsAppId", apsAppID);
  if (apsSlotUUIDs) {
    pf::Json slots = pf::Json::array();
    for (const auto& slot : *apsSlotUUIDs)
      slots.push_back({{"type", slot.type}, {"uuid", slot.uuid}});
    json["apsSlotUUIDs"] = std::move(slots);
  }
  put("verveToken", verveToken);
  put("smaatoPublisherId", smaatoPublisherID);
  return json;
}

std::optional<std::string> TiloConfiguration::apsSlotUUID(TiloAdFormat format) const {
  if (!apsSlotUUIDs) return std::nullopt;
  for (const auto& slot : *apsSlotUUIDs) {
    if (slot.type == rawValue(format)) return slot.uuid;
  }
  return std::nullopt;
}

std::variant<TiloConfiguration, std::string> decodeKeyFile(const std::string& appKey,
                                                           std::string_view text) {
  if (!isValidUtf8(text)) return decryptFailure();
  auto plain = decryptKeyPayload(appKey, text);
  if (!plain) return decryptFailure();
  try {
    return TiloConfiguration::decode(pf::parseJson(
        std::string_view(reinterpret_cast<const char*>(plain->data()), plain->size())));
  } catch (const std::exception& error) {
    return "loadConfigurationFile: " + std::string(error.what());
  }
}

Result<TiloConfiguration, ConfigurationError> readConfigurationFile(const std::string& appKey,
                                                                    const pf::Bundle& bundle) {
  using Read = Result<TiloConfiguration, ConfigurationError>;
  auto path = bundle.pathForResource("ios-tilo-key", "txt");
  if (!path) path = bundle.pathForResource("tilo-key", "txt");
  if (!path) {
    return Read::failure(ConfigurationError(
        std::string("ios-tilo-key.txt file not found. Please ensure the file is included in "
                    "your project. Download it from ") +
            kPublisherDashboardUrl,
        "looked in " + bundle.directory().string()));
  }
  // A folder, a FIFO or an oversized file in its place is a read failure, reported as
  // such, never a hang or a decryption failure.
  pf::FileSystem::ReadError error;
  const auto text = pf::FileSystem::readFile(*path, &error);
  if (!text) {
    return Read::failure(
        ConfigurationError("loadConfigurationFile: " + error.description, path->string()));
  }
  auto decoded = decodeKeyFile(appKey, *text);
  if (auto* message = std::get_if<std::string>(&decoded)) {
    return Read::failure(ConfigurationError(*message, path->string()));
  }
  return std::get<TiloConfiguration>(std::move(decoded));
}

}  // namespace tilo
