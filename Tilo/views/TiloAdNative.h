// One loaded native ad: its assets and where it came from.
#pragma once

#include <any>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/UIImage.h"

namespace tilo {

struct TiloAdNative {
  std::string unitId;  // the SDK ad-unit identifier
  std::optional<std::string> title;
  std::optional<std::string> advertiser;
  std::optional<std::string> body;
  std::shared_ptr<platform::UIImage> icon;  // null when absent
  // The platform's media content (a std::shared_ptr<mediation::GADMediaContent>), or empty.
  std::any mediaContent;
  std::optional<std::string> callToAction;
  // The platform's ad (a std::shared_ptr<mediation::GADNativeAd>).
  std::any origin;
  std::optional<double> latency;  // milliseconds
  std::optional<std::string> network;
};

}  // namespace tilo
