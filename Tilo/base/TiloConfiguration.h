// The application's configuration, decrypted from the key file the dashboard issues.
//
//   auto config = readConfigurationFile(appKey, *platform::Bundle::main());
//   if (!config) return config.error()->description();   // the SDK cannot run without it
//   if (auto slot = config.value().apsSlotUUID(TiloAdFormat::banner)) ...
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "Tilo/base/ConfigurationError.h"
#include "Tilo/base/Result.h"
#include "Tilo/base/TiloAdFormat.h"
#include "platform/Bundle.h"
#include "platform/Json.h"

namespace tilo {

struct APSSlotUUID {
  std::string type;  // a TiloAdFormat raw value, e.g. "banner"
  std::string uuid;

  bool operator==(const APSSlotUUID&) const = default;
};

struct TiloConfiguration {
  enum class Environment { production, development };

  std::string platform;
  std::string storeID;
  std::optional<std::string> admobKey;
  std::optional<std::vector<APSSlotUUID>> apsSlotUUIDs;
  std::string appKey;
  std::optional<std::string> applovinSDKKey;
  std::optional<std::string> apsAppID;
  std::optional<std::string> verveToken;
  std::optional<std::string> smaatoPublisherID;
  std::optional<std::string> storeURL;
  bool isEnabledAPSTestMode = false;                  // never read from the file
  Environment environment = Environment::production;  // never read from the file

  // Reads the keys in their coding order; unknown keys are ignored. Throws
  // tilo::platform::DecodingError, naming every missing required key at once.
  static TiloConfiguration decode(const tilo::platform::ParsedJson& json);
  // The key-file JSON (absent optionals omitted), as the keytool seals it.
  tilo::platform::Json encode() const;

  // The uuid of the first slot whose type is the format's raw value.
  std::optional<std::string> apsSlotUUID(TiloAdFormat format) const;

  bool operator==(const TiloConfiguration&) const = default;
};

// The configuration sealed in a key file's text, or the fatal message its problem calls
// for ("Failed to decrypt ios-tilo-key.txt, …" or "loadConfigurationFile: …"). An app
// key holding a control character does not decode.
std::variant<TiloConfiguration, std::string> decodeKeyFile(const std::string& appKey,
                                                           std::string_view text);

// Finds "ios-tilo-key.txt" (else "tilo-key.txt") in `bundle`, decrypts it with `appKey`
// and decodes it. Every failure is a ConfigurationError: the message integrators know,
// with the folder or file as its details.
Result<TiloConfiguration, ConfigurationError> readConfigurationFile(
    const std::string& appKey, const tilo::platform::Bundle& bundle);

}  // namespace tilo
