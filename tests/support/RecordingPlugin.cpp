#include "support/RecordingPlugin.h"

#include <cstdint>
#include <span>

#include "Tilo/base/KeyCrypto.h"

namespace tilo::test {

std::shared_ptr<RecordingPlugin> RecordingPlugin::forAppKey(const std::string& appKey) {
  const std::string capability = "adCashEvent";
  auto token = encryptPayload(
      appKey,
      std::span(reinterpret_cast<const std::uint8_t*>(capability.data()), capability.size()));
  return std::make_shared<RecordingPlugin>(appKey, token.value_or(""));
}

platform::ParsedJson RecordingPlugin::opened(std::size_t index) const {
  if (index >= events.size()) return nullptr;
  auto plain = decryptKeyPayload(appKey_, events[index]);
  if (!plain) return nullptr;
  return platform::parseJson(std::string(plain->begin(), plain->end()));
}

}  // namespace tilo::test
