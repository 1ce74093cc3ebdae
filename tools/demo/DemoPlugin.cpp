#include "tools/demo/DemoPlugin.h"

#include <span>
#include <stdexcept>

#include "Tilo/base/KeyCrypto.h"

namespace tilo::demo {

std::shared_ptr<DemoPlugin> DemoPlugin::create(std::string appKey, EventSink onEvent,
                                               std::function<void(const std::string&)> onError) {
  const std::string capability = "adCashEvent";
  auto token = encryptPayload(
      appKey,
      std::span(reinterpret_cast<const std::uint8_t*>(capability.data()), capability.size()));
  if (!token) throw std::runtime_error("cannot seal the plugin token");
  return std::make_shared<DemoPlugin>(std::move(appKey), std::move(*token), std::move(onEvent),
                                      std::move(onError));
}

DemoPlugin::DemoPlugin(std::string appKey, std::string token, EventSink onEvent,
                       std::function<void(const std::string&)> onError)
    : appKey_(std::move(appKey)),
      token_(std::move(token)),
      onEvent_(std::move(onEvent)),
      onError_(std::move(onError)) {}

std::function<void(std::optional<std::string>)> DemoPlugin::eventHandler() const {
  // The SDK may keep the handler beyond this plugin; it carries copies of what it needs.
  return
      [appKey = appKey_, onEvent = onEvent_, onError = onError_](std::optional<std::string> text) {
        auto plain = text ? decryptKeyPayload(appKey, *text) : std::nullopt;
        if (!plain) return onError("plugin event does not open with the app key");
        try {
          onEvent(platform::parseJsonKeepingOrder(std::string(plain->begin(), plain->end())));
        } catch (const platform::DecodingError& error) {
          onError("plugin event is not JSON: " + error.localizedDescription());
        }
      };
}

}  // namespace tilo::demo
