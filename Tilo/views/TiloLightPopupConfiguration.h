// The colours and close-button text of the light popup.
//
//   auto configuration = TiloLightPopupConfiguration::create();
//   configuration->ctaButtonBackgroundColor = hexColor("#0A84FF");
//   popupAd->setConfiguration(configuration);   // applied at once
//
// Warning: the popup applies a configuration when it is assigned; changing a property of
// the object afterwards shows nothing until it is assigned again.
#pragma once

#include <memory>
#include <string>

#include "Tilo/base/TiloExport.h"
#include "platform/ui/UIColor.h"

namespace tilo {

class TILO_EXPORT TiloLightPopupConfiguration {
 public:
  static std::shared_ptr<TiloLightPopupConfiguration> create() {
    return std::make_shared<TiloLightPopupConfiguration>();
  }

  // The full-screen layer above the blur.
  platform::UIColor backgroundColor = platform::UIColor::clearColor();
  // The card.
  platform::UIColor cardViewBackgroundColor = platform::UIColor::systemGroupedBackgroundColor();
  platform::UIColor adMarkLabelTextColor = platform::UIColor::labelColor();
  platform::UIColor adMarkLabelBackgroundColor =
      platform::UIColor::secondarySystemBackgroundColor().withAlphaComponent(0.32);
  std::string closeButtonText = "Close";
  // The close button's title and its icon.
  platform::UIColor closeButtonTextColor = platform::UIColor::labelColor();
  platform::UIColor titleTextColor = platform::UIColor::labelColor();
  platform::UIColor bodyTextColor = platform::UIColor::labelColor();
  // The visible call-to-action bar.
  platform::UIColor ctaButtonTextColor = platform::UIColor::whiteColor();
  platform::UIColor ctaButtonBackgroundColor = platform::UIColor::systemRedColor();
};

}  // namespace tilo
