#include "Tilo/ads/TiloPlugin.h"

#include <algorithm>
#include <cmath>

#include "Tilo/base/KeyCrypto.h"
#include "Tilo/base/TiloKeyManager.h"
#include "Tilo/base/TiloLogger.h"
#include "platform/Json.h"

namespace tilo {

const std::vector<std::string>& supportedPluginCapabilities() {
  static const std::vector<std::string> capabilities = {"adCashEvent"};
  return capabilities;
}

bool isAcceptedPluginToken(const std::string& appKey, const std::string& token) {
  auto plain = decryptKeyPayload(appKey, token);
  if (!plain) return false;
  const std::string text(plain->begin(), plain->end());
  const auto& supported = supportedPluginCapabilities();
  // An exact match also rules out invalid UTF-8: every capability name is ASCII.
  return std::find(supported.begin(), supported.end(), text) != supported.end();
}

void PluginRegisterble::registerPlugin(std::shared_ptr<TiloPlugin> plugin) {
  if (!plugin) return;
  const auto keys = TiloKeyManager::shared();
  if (!keys || !isAcceptedPluginToken(keys->appKey(), plugin->pluginToken())) {
    log("Not supported plugin: " + plugin->name() +
            " need Tilo SDK version : " + plugin->requiredTiloVersion(),
        TiloLogLevel::debug);
    return;
  }
  if (auto* holder = dynamic_cast<HasPlugin*>(this)) holder->setPlugin(plugin);
  log("Registered plugin: " + plugin->name(), TiloLogLevel::debug);
}

void sendPluginEvent(const std::optional<TiloAdInfo>& adInfo, const TiloRevenueInfo& revenue,
                     const std::shared_ptr<TiloPlugin>& plugin) {
  if (!adInfo) {
    log("Ad info is nil, cannot send event", TiloLogLevel::error);
    return;
  }
  // Ad info counts milliseconds; plugins get seconds, rounded to the nanosecond so that the
  // sum of the networks' latencies reads as written (0.17, not 0.16999999999999998).
  const double latency = std::round(adInfo->latency.value_or(0) * 1e6) / 1e9;
  const platform::Json json = {{"adInfo",
                                {{"adFormat", std::string(rawValue(adInfo->adFormat))},
                                 {"adUnitId", adInfo->adUnitId},
                                 {"latency", std::isfinite(latency) ? latency : 0.0}}},
                               {"revenueInfo",
                                {{"value", revenue.value.description()},
                                 {"currencyCode", revenue.currencyCode},
                                 {"precisionType", static_cast<int>(revenue.precisionType)}}}};
  // Invalid UTF-8 from a network is replaced, never a failure.
  const std::string text = platform::dumpCompact(json);
  const auto keys = TiloKeyManager::shared();
  auto sealed = keys ? encryptPayload(keys->appKey(),
                                      std::span(reinterpret_cast<const std::uint8_t*>(text.data()),
                                                text.size()))
                     : std::nullopt;
  if (!sealed) {
    log("Failed to encrypt event data", TiloLogLevel::error);
    return;
  }
  if (plugin) {
    if (auto handler = plugin->eventHandler()) handler(*sealed);
  }
}

}  // namespace tilo
