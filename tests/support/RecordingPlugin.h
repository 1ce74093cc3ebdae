// A plugin that holds the "adCashEvent" token sealed with the app key, keeps the paid
// events it is handed and opens them again.
//
//   auto plugin = RecordingPlugin::forAppKey(sdk.options().appKey);
//   loader->registerPlugin(plugin);
//   ... show, drive ...
//   EXPECT_EQ(plugin->opened(0)["revenueInfo"]["value"], "0.0017");
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Tilo/ads/TiloPlugin.h"
#include "platform/Json.h"

namespace tilo::test {

class RecordingPlugin final : public TiloPlugin {
 public:
  // A plugin whose token the SDK accepts for the paid events of `appKey`.
  static std::shared_ptr<RecordingPlugin> forAppKey(const std::string& appKey);

  RecordingPlugin(std::string appKey, std::string token)
      : appKey_(std::move(appKey)), token_(std::move(token)) {}
  std::string pluginToken() const override { return token_; }
  std::string name() const override { return "recorder"; }
  std::string requiredTiloVersion() const override { return "1.1.44"; }
  std::function<void(std::optional<std::string>)> eventHandler() const override {
    return [this](std::optional<std::string> event) { events.push_back(event.value_or("")); };
  }
  // Event `index` opened with the app key; null when it does not open.
  platform::ParsedJson opened(std::size_t index) const;

  mutable std::vector<std::string> events;

 private:
  std::string appKey_;
  std::string token_;
};

}  // namespace tilo::test
