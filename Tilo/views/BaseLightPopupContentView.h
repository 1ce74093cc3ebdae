// The light popup's card on top of the native view: a rounded card centred vertically,
// 20 points from each side, holding a square media area with an "AD" mark, a 40 × 40
// icon, a title, a body and a 52-point call-to-action bar; an invisible button over the
// whole view is the platform's call-to-action view. TiloLightPopupContentView is the
// concrete class that also fills the bar.
//
// Main thread only.
#pragma once

#include <memory>

#include "Tilo/views/TiloAdNativeView.h"
#include "Tilo/views/TiloLightPopupConfiguration.h"

namespace tilo {

class TILO_EXPORT BaseLightPopupContentView : public TiloAdNativeView {
 public:
  BaseLightPopupContentView(TiloAdUnit unit, bool autoLoad,
                            std::shared_ptr<TiloServiceProtocol> service);
  const char* className() const override { return "BaseLightPopupContentView"; }
  void initializeView() override;

  const std::shared_ptr<TiloLightPopupConfiguration>& configuration() const {
    return configuration_;
  }
  // Stores the configuration without applying it; applyConfiguration shows it.
  void setConfiguration(std::shared_ptr<TiloLightPopupConfiguration> configuration);
  void applyConfiguration();

  const std::shared_ptr<platform::UIView>& containerView() const { return containerView_; }
  const std::shared_ptr<platform::UILabel>& adMarkLabel() const { return adMarkLabel_; }
  const std::shared_ptr<platform::UIView>& internalMediaContentView() const {
    return internalMediaContentView_;
  }
  const std::shared_ptr<platform::UIImageView>& internalIconImageView() const {
    return internalIconImageView_;
  }
  const std::shared_ptr<platform::UILabel>& internalTitleLabel() const {
    return internalTitleLabel_;
  }
  const std::shared_ptr<platform::UILabel>& internalBodyLabel() const { return internalBodyLabel_; }
  // The visible call-to-action bar, made on first use.
  const std::shared_ptr<platform::UILabel>& fakeCTALabel();
  const std::shared_ptr<platform::UIButton>& internalCallToActionButton() const {
    return internalCallToActionButton_;
  }

 private:
  void layout();

  std::shared_ptr<TiloLightPopupConfiguration> configuration_;
  std::shared_ptr<platform::UIView> containerView_;
  std::shared_ptr<platform::UILabel> adMarkLabel_;
  std::shared_ptr<platform::UIView> internalMediaContentView_;
  std::shared_ptr<platform::UIImageView> internalIconImageView_;
  std::shared_ptr<platform::UILabel> internalTitleLabel_;
  std::shared_ptr<platform::UILabel> internalBodyLabel_;
  std::shared_ptr<platform::UILabel> fakeCTALabel_;
  std::shared_ptr<platform::UIButton> internalCallToActionButton_;
};

class TILO_EXPORT TiloLightPopupContentView : public BaseLightPopupContentView {
 public:
  static std::shared_ptr<TiloLightPopupContentView> create(
      TiloAdUnit unit, bool autoLoad, std::shared_ptr<TiloServiceProtocol> service);
  using BaseLightPopupContentView::BaseLightPopupContentView;
  const char* className() const override { return "TiloLightPopupContentView"; }

  // The native rendering, then the bar's text (empty without a call to action).
  void renderAd(const TiloAdNative& ad, const std::shared_ptr<AdNativeLoadable>& loader) override;
};

}  // namespace tilo
