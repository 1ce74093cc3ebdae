// The colours of the line banner.
//
//   auto configuration = TiloLineNativeAdConfiguration::create();
//   configuration->ctaBackgroundColor = platform::UIColor::systemRedColor();
//   line->setConfiguration(configuration);   // applied at once
//
// Warning: the view applies a configuration when it is assigned; changing a property of
// the object afterwards shows nothing until it is assigned again.
#pragma once

#include <memory>

#include "Tilo/base/TiloExport.h"
#include "platform/ui/UIColor.h"

namespace tilo {

class TILO_EXPORT TiloLineNativeAdConfiguration {
 public:
  static std::shared_ptr<TiloLineNativeAdConfiguration> create() {
    return std::make_shared<TiloLineNativeAdConfiguration>();
  }

  // The line view's own background.
  platform::UIColor backgroundColor = platform::UIColor::systemBackgroundColor();
  // The "AD" badge.
  platform::UIColor adMarkTextColor = platform::UIColor::labelColor();
  platform::UIColor adMarkBackgroundColor =
      platform::UIColor::systemGray3Color().withAlphaComponent(0.3);
  // The headline.
  platform::UIColor titleTextColor = platform::UIColor::labelColor();
  // The call-to-action pill.
  platform::UIColor ctaTextColor = platform::UIColor::labelColor();
  platform::UIColor ctaBackgroundColor =
      platform::UIColor::secondarySystemBackgroundColor().withAlphaComponent(0.5);
};

}  // namespace tilo
