// The demo's plugin: registered on every loader, it receives each paid event sealed with
// the app key, opens it as a plugin would and hands over the JSON.
//
//   auto plugin = DemoPlugin::create(appKey, [](const platform::Json& event) { ... });
//   loader->registerPlugin(plugin);
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Tilo/ads/TiloPlugin.h"
#include "platform/Json.h"

namespace tilo::demo {

class DemoPlugin final : public TiloPlugin {
 public:
  using EventSink = std::function<void(const platform::Json& event)>;

  // The token is the "adCashEvent" capability sealed with `appKey`, as tilo-keytool token
  // makes it. Events that do not open or parse go to `onError`.
  static std::shared_ptr<DemoPlugin> create(std::string appKey, EventSink onEvent,
                                            std::function<void(const std::string&)> onError);

  std::string pluginToken() const override { return token_; }
  std::string name() const override { return "tilo-demo revenue printer"; }
  std::string requiredTiloVersion() const override { return "1.1.44"; }
  std::function<void(std::optional<std::string>)> eventHandler() const override;

  DemoPlugin(std::string appKey, std::string token, EventSink onEvent,
             std::function<void(const std::string&)> onError);

 private:
  const std::string appKey_;
  const std::string token_;
  const EventSink onEvent_;
  const std::function<void(const std::string&)> onError_;
};

}  // namespace tilo::demo
