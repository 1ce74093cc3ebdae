#include "Tilo/backend/AdUnitCache.h"

#include <string>

#include "Tilo/base/TiloLogger.h"
#include "platform/UserDefaults.h"

namespace tilo {

std::uint8_t AdUnitCache::keyByte(std::string_view key) {
  std::uint8_t byte = 0;
  for (char c : key) byte ^= static_cast<std::uint8_t>(c);
  return byte;
}

platform::Bytes AdUnitCache::transform(std::string_view data, std::uint8_t key) {
  platform::Bytes out(data.size());
  for (std::size_t i = 0; i < data.size(); ++i) out[i] = static_cast<std::uint8_t>(data[i]) ^ key;
  return out;
}

void AdUnitCache::write(std::string_view key, const TiloAppInfo& info) {
  const std::string json = platform::dumpCompact(info.encode());
  if (json.size() > kMaxBytes) {
    log("Failed to encode ad units for cache: the ad units take more than " +
            std::to_string(kMaxBytes) + " bytes",
        TiloLogLevel::error);
    return;
  }
  auto defaults = platform::UserDefaults::standard();
  defaults->setData(key, transform(json, keyByte(key)));
  reportUserDefaultsFailures(*defaults);
}

std::optional<TiloAppInfo> AdUnitCache::read(std::string_view key) {
  auto defaults = platform::UserDefaults::standard();
  reportUserDefaultsFailures(*defaults);
  auto blob = defaults->data(key);
  if (!blob) return std::nullopt;
  return decode(key, *blob);
}

std::optional<TiloAppInfo> AdUnitCache::decode(std::string_view key, const platform::Bytes& blob) {
  const auto plain = transform(
      std::string_view(reinterpret_cast<const char*>(blob.data()), blob.size()), keyByte(key));
  try {
    return TiloAppInfo::decode(platform::parseJson(
        std::string_view(reinterpret_cast<const char*>(plain.data()), plain.size())));
  } catch (const platform::DecodingError& error) {  // hostile bytes: a missing cache
    log("Failed to decode ad units from cache: " + std::string(error.what()), TiloLogLevel::error);
    return std::nullopt;
  }
}

}  // namespace tilo
