// Host-side plugins (engine wrappers, reporting tools) that receive an ad object's paid
// events. A plugin is attached only when its token, sealed with the app key, names a
// capability this SDK supports.
//
//   class MyPlugin : public TiloPlugin { ... };
//   interstitialLoader->registerPlugin(std::make_shared<MyPlugin>());
//   // later, per paid event: plugin->eventHandler()(base64 of the sealed JSON)
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Tilo/base/TiloAdInfo.h"
#include "Tilo/base/TiloExport.h"
#include "Tilo/base/TiloRevenueInfo.h"
#include "platform/Environment.h"

namespace tilo {

class TILO_EXPORT TiloPlugin {
 public:
  virtual ~TiloPlugin() = default;
  // Base64 of nonce + ciphertext + tag of the capability name, keyed by the app key.
  virtual std::string pluginToken() const = 0;
  virtual std::string name() const = 0;
  // The SDK version the plugin needs; shown when the token is rejected.
  virtual std::string requiredTiloVersion() const = 0;
  // Receives each event as Base64 text that decryptKeyPayload with the app key opens.
  virtual std::function<void(std::optional<std::string>)> eventHandler() const = 0;
};

// An object that holds at most one plugin.
class TILO_EXPORT HasPlugin {
 public:
  virtual ~HasPlugin() = default;
  virtual std::shared_ptr<TiloPlugin> plugin() const = 0;
  virtual void setPlugin(std::shared_ptr<TiloPlugin> plugin) = 0;
};

// An object that plugins can register with. Ad loaders and views derive from both.
class TILO_EXPORT PluginRegisterble {
 public:
  virtual ~PluginRegisterble() = default;
  // Attaches the plugin (replacing any earlier one) when its token is accepted; logs
  // "Registered plugin: <name>" or the rejection line, at debug level.
  virtual void registerPlugin(std::shared_ptr<TiloPlugin> plugin);
};

// "adCashEvent".
const std::vector<std::string>& supportedPluginCapabilities();
// True when `token` opens with `appKey` to a supported capability.
bool isAcceptedPluginToken(const std::string& appKey, const std::string& token);

// Seals {"adInfo": ..., "revenueInfo": ...} with the app key and hands it to the
// plugin's event handler; "latency" is in seconds there (0 when unknown). Without ad info
// nothing is sent and an error line is logged.
void sendPluginEvent(const std::optional<TiloAdInfo>& adInfo, const TiloRevenueInfo& revenue,
                     const std::shared_ptr<TiloPlugin>& plugin);

// The paid-event closure a loader or an ad view installs: the event goes, on the main
// thread, to the plugin `owner` holds by then; nothing once the owner is gone.
template <class Owner>
auto pluginEventForwarder(std::weak_ptr<Owner> owner) {
  return [owner](std::optional<TiloAdInfo> info, const TiloRevenueInfo& revenue) {
    platform::postToMain([owner, info = std::move(info), revenue] {
      auto self = owner.lock();
      if (!self) return;
      if (auto plugin = self->plugin()) sendPluginEvent(info, revenue, plugin);
    });
  };
}

}  // namespace tilo
